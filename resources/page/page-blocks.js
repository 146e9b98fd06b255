// Helpers every script that changes a page held whole block by block starts
// with (the program puts the marker comment's text in place of MARKER).
// `split` cuts a parent's child nodes into groups at the marker comments,
// which it removes; `expected` is the number of groups there should be (an
// empty parent has none). `typesetNew` hands new nodes to the page's
// typesetter (typesetter.js: a change's own blocks before any other) and to
// highlight.js.
function split(parent, expected) {
  var groups = [[]], kids = Array.prototype.slice.call(parent.childNodes);
  for (var i = 0; i < kids.length; i++) {
    var n = kids[i];
    if (n.nodeType === 8 && n.data === MARKER) { parent.removeChild(n); groups.push([]); }
    else groups[groups.length - 1].push(n);
  }
  if (expected === 0 && groups.length === 1 && groups[0].length === 0) groups = [];
  return groups.length === expected ? groups : null;
}
// Whether `html` reads the same in a document that runs no scripts (a
// template's, a new HTML document's) as in the page, which runs them: the
// one thing that tells them apart is a <noscript> tag, whose content the
// page reads as text and the others as elements, which put in would show,
// load and run as the page's own.
function readsAlike(html) {
  return !/<noscript/i.test(html);
}
function typesetNew(groups, changed) {
  var nodes = [].concat.apply([], groups);
  if (window.orvaneTypesetter) window.orvaneTypesetter.add(nodes, changed);
  if (window.hljs)
    nodes.forEach(function (e) {
      if (e.nodeType !== 1) return;
      var blocks = Array.prototype.slice.call(e.querySelectorAll('pre code'));
      if (e.matches('pre code')) blocks.push(e);
      blocks.forEach(function (b) { if (!b.classList.contains('hljs')) window.hljs.highlightBlock(b); });
    });
}
// Replaces runs of the page's blocks (window.orvaneBlocks, `count` of
// them), each run [first block, blocks removed, blocks inserted, their HTML
// with markers between them], the last run first, so that the block
// numbers of those before it stay good. Answers false, changing nothing and
// forgetting the blocks, when the page is not the one the program knows of
// (a block's node has left the body) or a run's HTML would read otherwise
// apart from the page than in it.
function replaceRuns(runs, count, typesetting) {
  var body = document.body, blocks = window.orvaneBlocks;
  var known = !!body && !!blocks && blocks.length === count;
  for (var i = 0; known && i < blocks.length; i++)
    for (var k = 0; known && k < blocks[i].length; k++)
      known = blocks[i][k].parentNode === body;
  var made = [];
  for (var h = 0; known && h < runs.length; h++) {
    known = readsAlike(runs[h][3]);
    if (!known) break;
    var t = document.createElement('template');
    t.innerHTML = runs[h][3];
    made.push(split(t.content, runs[h][2]));
    known = !!made[h];
  }
  if (!known) { window.orvaneBlocks = null; return false; }
  var all = [];
  for (var h = 0; h < runs.length; h++) {
    var from = runs[h][0], removed = runs[h][1], fresh = made[h];
    for (var i = from; i < from + removed; i++)
      for (var k = 0; k < blocks[i].length; k++) body.removeChild(blocks[i][k]);
    var ref = null, found = false;
    for (var i = from + removed; i < blocks.length && !found; i++)
      if (blocks[i].length) { ref = blocks[i][0]; found = true; }
    for (var i = from - 1; i >= 0 && !found; i--)
      if (blocks[i].length) { ref = blocks[i][blocks[i].length - 1].nextSibling; found = true; }
    if (!found) ref = body.firstChild;
    for (var i = 0; i < fresh.length; i++)
      for (var k = 0; k < fresh[i].length; k++) body.insertBefore(fresh[i][k], ref);
    blocks.splice.apply(blocks, [from, removed].concat(fresh));
    all = all.concat(fresh);
  }
  if (typesetting) typesetNew(all, true);
  return true;
}
