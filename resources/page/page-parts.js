// Helpers every script that changes a page in parts starts with, after
// those of page-blocks.js (the program puts the parts' class names and the
// length from which a part is spliced in place of PART_CLASS, EMPTY_CLASS
// and SPLICED). `make` builds a
// part's element (html null for an empty one), `typeset` hands a filled
// part's blocks to the page's typesetter (MathJax: those in view first) and
// to highlight.js when the page has them.
var PART = PART_CLASS, EMPTY = EMPTY_CLASS;
var body = document.body, parts = body ? body.children : null;
var ratio = window.orvanePartRatio || 0.25;
function typeset(e) {
  if (window.orvaneTypesetter) window.orvaneTypesetter.add(e.children, false);
  highlight(e);
}
// The same for a node a change put in or changed inside a part: the element
// it is or lies in, when the page shows it (not inside a template).
function retypeset(n) {
  var e = n.nodeType === 1 ? n : n.parentNode;
  if (!e || e.nodeType !== 1 || !e.isConnected) return;
  if (window.orvaneTypesetter) window.orvaneTypesetter.add([e], false);
  highlight(e);
}
function highlight(e) {
  if (!window.hljs) return;
  var blocks = Array.prototype.slice.call(e.querySelectorAll('pre code')), own = e.closest('pre code');
  if (own) blocks.push(own);
  blocks.forEach(function (b) {
    if (!b.classList.contains('hljs')) window.hljs.highlightBlock(b);
  });
}
// A long part keeps the HTML it was given, for the splices of later edits.
function hold(d, html) {
  d.innerHTML = html;
  if (html.length >= SPLICED) d.orvaneHtml = html; else delete d.orvaneHtml;
}
function make(html, chars) {
  var d = document.createElement('div');
  d.className = PART;
  d.dataset.chars = chars;
  if (html === null) { d.classList.add(EMPTY); d.style.height = Math.max(1, Math.round(chars * ratio)) + 'px'; }
  else hold(d, html);
  return d;
}
function spliceable(k, length) {
  var p = parts[k];
  return !!p && typeof p.orvaneHtml === 'string' && p.orvaneHtml.length === length;
}
// A long part's change: the children of one element it lies among
// replaced alone when the page holds what the text says there (`inner`:
// the path down to the element and the names on it, the first child
// replaced, how many, whether they are its last, their first and last
// names, how many elements the new ones are, their HTML, and where the old
// ones' HTML lies in the part's old HTML).
//
// Else the page's tree is not what the text's tags say there (an element
// the document leaves open, such as an inline tag of raw HTML in a list's
// item, has the page nest what follows it otherwise), or the change is too
// wide to be found that way. The new HTML is then read apart from the page,
// as the page reads a part, and only the nodes that differ are put in:
// building and laying out the whole part again takes the page seconds for
// each key at megabytes. A part that such a reading would read otherwise
// than the page is read by the page itself, whole, as a fresh page reads it.
function splice(k, head, tail, middle, chars, inner) {
  var p = parts[k], old = p.orvaneHtml, html = old.slice(0, head) + middle + old.slice(old.length - tail);
  p.dataset.chars = chars;
  if (!(inner && replaceInner(p, inner, old))) {
    if (!readsAlike(html)) { hold(p, html); typeset(p); }
    else { templated = /<template/i.test(html); merge(p, readApart(p, html)); }
  }
  p.orvaneHtml = html;
}
// `html` read as the page reads a part (hold: the innerHTML of an element
// of the part's name), in a document of the page's own mode in which
// nothing the reading makes loads or runs until it is put in the page.
//
// No document that the page can make reads so and runs scripts: the
// page's own (an element of it, attached or not, or a range's fragment)
// requests a picture, a film or an SVG image as soon as it is read and runs
// its error handler, and the others (a new HTML document, a DOMParser's, a
// template's content) read as a page that runs no scripts.
var scratch = null;
function readApart(p, html) {
  if (!scratch)
    scratch = document.compatMode === 'CSS1Compat'
      ? document.implementation.createHTMLDocument('')
      : new DOMParser().parseFromString('<html><body></body></html>', 'text/html');
  var d = scratch.createElement(p.localName);
  d.innerHTML = html;
  return d;
}
// `html` read by itself, as nodes of the template's inert document.
function readAlone(html) {
  var t = document.createElement('template');
  t.innerHTML = html;
  return Array.prototype.slice.call(t.content.childNodes);
}
// A template element holds its nodes in its content, which the comparison
// of nodes does not look into: a part whose HTML names one compares them
// too.
var templated = false, HTML = 'http://www.w3.org/1999/xhtml';
function isTemplate(n) {
  return n.nodeType === 1 && n.localName === 'template' && n.namespaceURI === HTML;
}
function holder(n) {
  return isTemplate(n) ? n.content : n;
}
function same(x, y) {
  if (!x.isEqualNode(y)) return false;
  if (!templated || x.nodeType !== 1) return true;
  var tx = templatesIn(x), ty = templatesIn(y);
  if (tx.length !== ty.length) return false;
  for (var i = 0; i < tx.length; i++)
    if (!sameNodes(tx[i].content.childNodes, ty[i].content.childNodes)) return false;
  return true;
}
function sameNodes(a, b) {
  if (a.length !== b.length) return false;
  for (var i = 0; i < a.length; i++)
    if (!same(a[i], b[i])) return false;
  return true;
}
function templatesIn(e) {
  var all = isTemplate(e) ? [e] : [];
  Array.prototype.forEach.call(e.getElementsByTagName('template'), function (t) { if (isTemplate(t)) all.push(t); });
  return all;
}
// `e` made to hold what `m` holds; the children at either end that are the
// same are kept, and a run of as many children of the same names keeps its
// nodes.
function merge(e, m) {
  var h = holder(e), a = h.childNodes, b = holder(m).childNodes, s = 0, ea = a.length, eb = b.length;
  while (s < ea && s < eb && same(a[s], b[s])) s++;
  while (ea > s && eb > s && same(a[ea - 1], b[eb - 1])) { ea--; eb--; }
  var olds = Array.prototype.slice.call(a, s, ea), news = Array.prototype.slice.call(b, s, eb);
  if (olds.length === 1 && olds[0].nodeType === 1 && sameNames(olds, news)) {
    attributesOf(olds[0], news[0]);
    merge(olds[0], news[0]);
  } else {
    replaceRun(h, olds, news, a[ea] || null);
  }
}
// The children `olds` of `e`, which end before `to`, made the nodes `news`.
function replaceRun(e, olds, news, to) {
  if (sameNames(olds, news)) {
    olds.forEach(function (o, i) { morph(o, news[i]); });
    return;
  }
  olds.forEach(function (o) { e.removeChild(o); });
  news.forEach(function (n) { e.insertBefore(n, to); retypeset(n); });
}
function sameNames(olds, news) {
  if (olds.length !== news.length) return false;
  for (var i = 0; i < olds.length; i++)
    if (olds[i].nodeType !== news[i].nodeType || olds[i].nodeName !== news[i].nodeName) return false;
  return true;
}
// `e` made what `m` (a node of the same kind and name) is, in its place:
// taking an item out of a list, or putting one in, has the page lay out
// again every item after it (their numbers may change), which in a list of
// megabytes costs it a second or more.
function morph(e, m) {
  if (e.nodeType !== 1) {
    if (e.nodeValue !== m.nodeValue) { e.nodeValue = m.nodeValue; retypeset(e); }
    return;
  }
  attributesOf(e, m);
  var h = holder(e), from = holder(m);
  h.textContent = '';
  var f = document.createDocumentFragment();
  while (from.firstChild) f.appendChild(from.firstChild);
  h.appendChild(f);
  retypeset(e);
}
function attributesOf(e, m) {
  var a, k;
  for (k = e.attributes.length - 1; k >= 0; k--) {
    a = e.attributes[k];
    if (!m.hasAttribute(a.name)) e.removeAttribute(a.name);
  }
  for (k = 0; k < m.attributes.length; k++) {
    a = m.attributes[k];
    if (e.getAttribute(a.name) !== a.value) e.setAttribute(a.name, a.value);
  }
}
// The run's children found down the path by their places and names, and
// taken to be those the text says only when they are what their old HTML
// reads as by itself: an element left open before them, or a tag the page
// moved, has the page nest them, or other nodes of the same names in their
// places, otherwise.
function replaceInner(p, r, old) {
  var c = p, i;
  for (i = 0; i < r[0].length; i++) {
    c = c.children[r[0][i]];
    if (!c || c.tagName !== r[1][i]) return false;
  }
  var kids = c.children, first = r[2], removed = r[3], end = first + removed;
  if (r[4] ? kids.length !== end : kids.length <= end) return false;
  if (kids[first].tagName !== r[5] || kids[end - 1].tagName !== r[6] || !readsAlike(r[8])) return false;
  var olds = [], to = r[4] ? null : kids[end], was = old.slice(r[9], r[9] + r[10]), n;
  for (n = kids[first]; n !== to; n = n.nextSibling) olds.push(n);
  templated = /<template/i.test(was);
  if (!sameNodes(olds, readAlone(was))) return false;
  var news = readAlone(r[8]);
  if (news.filter(function (x) { return x.nodeType === 1; }).length !== r[7]) return false;
  replaceRun(c, olds, news, to);
  return true;
}
function put(at, removed, made) {
  var next = parts[at + removed] || null;
  for (var i = 0; i < removed; i++) body.removeChild(parts[at]);
  made.forEach(function (d) { body.insertBefore(d, next); if (!d.classList.contains(EMPTY)) typeset(d); });
}
function fill(k, html) {
  var p = parts[k];
  hold(p, html);
  p.classList.remove(EMPTY);
  p.style.height = '';
  typeset(p);
}
function empty(k) {
  var p = parts[k];
  p.style.height = Math.max(1, p.offsetHeight) + 'px';
  p.textContent = '';
  delete p.orvaneHtml;
  p.classList.add(EMPTY);
}
