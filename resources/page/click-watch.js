// Notes, for each click of the user's (with the main or the middle button),
// the URL of the link under it, its href as the link has it then, and
// whether the user saw that link where the click fell. It runs in the
// application's world: the page's scripts can neither see nor change it,
// and the clicks they make themselves are not trusted events. A click whose
// default the page prevented opens nothing and lets nothing leave: its note
// would serve only the page's own later navigation.
//
// A link is seen where the click fell when the button went down and came up
// on the link's own text (or picture), there and the same size both times,
// in a piece large enough to read, whose colour stands out from what is
// behind it, neither transparent nor faded, filtered, masked or blended
// (the link and everything around it), and with nothing laid over it as
// the click ends. A link stretched over the page is clicked away from its
// text; one moved or grown as the button goes down is not where it was.
(function () {
  'use strict';
  // What a piece of a link must be to be seen: its size in the page's
  // pixels, how opaque it and its colour are, and how far its colour stands
  // out from what is behind it (as the ratio of their luminances).
  var LEAST_WIDTH = 4, LEAST_HEIGHT = 6, LEAST_OPACITY = 0.5, LEAST_CONTRAST = 1.5;
  // The most pieces (runs of text, pictures) of a link looked at.
  var MOST_PIECES = 2000;
  // Every element hit at a point, also those the page makes the pointer
  // pass through: for a moment, at a weight no selector of the page's beats.
  var WEIGHT = '#o#o#o#o#o#o#o#o#o#o#o#o#o#o#o#o';
  var HIT_ALL = ':is(*, ' + WEIGHT + '), :is(*, ' + WEIGHT + ')::before, :is(*, ' + WEIGHT + ')::after' +
                ' { pointer-events: auto !important; }';
  var hitAll = null;
  var REPLACED = 'img, svg, video, canvas, picture, input, button, object, embed, iframe';

  var last = null, pressed = null;

  function linkOf(e) {
    var node = e.target;
    if (node && node.nodeType !== 1) node = node.parentElement;
    return node && node.closest ? node.closest('a[href], area[href]') : null;
  }

  function parentOf(element) {
    if (element.parentElement) return element.parentElement;
    var parent = element.parentNode;
    return parent && parent.host ? parent.host : null;
  }

  // [red, green, blue, alpha] of a computed colour; null for a colour
  // written otherwise.
  function colour(text) {
    var m = /^rgba?\(([^)]*)\)$/.exec(String(text).trim());
    if (!m) return null;
    var parts = m[1].split(/[\s,\/]+/).filter(function (p) { return p.length; }).map(parseFloat);
    if (parts.length < 3 || parts.some(isNaN)) return null;
    return [parts[0], parts[1], parts[2], parts.length > 3 ? parts[3] : 1];
  }

  function luminance(c) {
    var channel = function (v) { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c[0]) + 0.7152 * channel(c[1]) + 0.0722 * channel(c[2]);
  }

  // The colour behind `element`: the backgrounds of the elements around it,
  // from the outermost in, over white; null when a picture is among them.
  function behind(element) {
    var chain = [];
    for (var e = element; e; e = parentOf(e)) chain.push(e);
    var under = [255, 255, 255];
    for (var i = chain.length - 1; i >= 0; i--) {
      var style = getComputedStyle(chain[i]);
      if (style.backgroundImage && style.backgroundImage !== 'none') return null;
      var c = colour(style.backgroundColor);
      if (!c) return null;
      for (var k = 0; k < 3; k++) under[k] = c[k] * c[3] + under[k] * (1 - c[3]);
    }
    return under;
  }

  // Whether `element` and everything around it show it as it is: not
  // hidden, not transparent or faded, not filtered, masked or blended.
  function shows(element) {
    if (getComputedStyle(element).visibility !== 'visible') return false;
    var opacity = 1;
    for (var e = element; e; e = parentOf(e)) {
      var style = getComputedStyle(e);
      opacity *= parseFloat(style.opacity);
      if (style.filter !== 'none' || (style.webkitMaskImage || 'none') !== 'none' ||
          (style.maskImage || 'none') !== 'none' || style.mixBlendMode !== 'normal')
        return false;
    }
    return opacity >= LEAST_OPACITY;
  }

  // Whether the text of `element` can be read against what is behind it.
  function readable(element) {
    var style = getComputedStyle(element);
    var ink = colour(style.color), fill = colour(style.webkitTextFillColor || style.color);
    if (!ink || !fill || ink[3] < LEAST_OPACITY || fill[3] < LEAST_OPACITY) return false;
    var back = behind(element);
    if (!back) return false;
    var a = luminance(fill), b = luminance(back);
    return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05) >= LEAST_CONTRAST;
  }

  // The pieces the user sees of `link`: its runs of text and its pictures
  // (for an area, the pictures that use its map), each with its boxes.
  // Null when there are too many to look at.
  function piecesOf(link) {
    var pieces = [];
    if (link.localName === 'area') {
      var map = link.closest('map');
      var name = map ? map.getAttribute('name') || map.id : '';
      var pictures = name ? document.querySelectorAll('img[usemap]') : [];
      for (var i = 0; i < pictures.length; i++)
        if (pictures[i].getAttribute('usemap') === '#' + name)
          pieces.push({element: pictures[i], boxes: pictures[i].getClientRects(), text: false});
      return pieces;
    }
    var walker = document.createTreeWalker(link, NodeFilter.SHOW_TEXT | NodeFilter.SHOW_ELEMENT);
    for (var node = walker.nextNode(); node; node = walker.nextNode()) {
      if (pieces.length >= MOST_PIECES) return null;
      if (node.nodeType === 1) {
        if (node.matches(REPLACED)) {
          pieces.push({element: node, boxes: node.getClientRects(), text: false});
          // What lies inside a picture is no text of the page's: the walk
          // goes on after it.
          var inner = node;
          while (inner.lastChild) inner = inner.lastChild;
          walker.currentNode = inner;
        }
      } else if (/\S/.test(node.data) && node.parentElement) {
        var range = document.createRange();
        range.selectNodeContents(node);
        pieces.push({element: node.parentElement, boxes: range.getClientRects(), text: true});
      }
    }
    return pieces;
  }

  // Where the boxes of `pieces` stand, as text: a link moved, or grown,
  // stands elsewhere.
  function layoutOf(pieces) {
    var out = [];
    for (var i = 0; i < pieces.length; i++)
      for (var k = 0; k < pieces[i].boxes.length; k++) {
        var r = pieces[i].boxes[k];
        out.push(Math.round(r.left), Math.round(r.top), Math.round(r.width), Math.round(r.height));
      }
    return out.join(',');
  }

  // The element on top at (x, y), with every element taking the pointer.
  function topmostAt(x, y) {
    if (!hitAll) {
      hitAll = new CSSStyleSheet();
      hitAll.replaceSync(HIT_ALL);
    }
    var before = Array.prototype.slice.call(document.adoptedStyleSheets);
    document.adoptedStyleSheets = before.concat([hitAll]);
    try {
      return document.elementFromPoint(x, y);
    } finally {
      document.adoptedStyleSheets = before;
    }
  }

  // Whether something that lets the pointer through lies over `link` at
  // (x, y).
  function covered(link, pieces, x, y) {
    var top = topmostAt(x, y);
    var own = top && (link.contains(top) || pieces.some(function (p) { return p.element.contains(top); }));
    if (!own) return true;
    // A style of the element's own, marked important, outweighs any rule.
    var letting = document.querySelectorAll('[style*="pointer-events" i]');
    for (var i = 0; i < letting.length; i++) {
      var e = letting[i];
      if (link.contains(e) || e.contains(link) || getComputedStyle(e).pointerEvents !== 'none') continue;
      var boxes = e.getClientRects();
      for (var k = 0; k < boxes.length; k++)
        if (x >= boxes[k].left && x <= boxes[k].right && y >= boxes[k].top && y <= boxes[k].bottom) return true;
    }
    return false;
  }

  // What the user sees of `link` at (x, y): the layout of its pieces, when
  // the point falls on one that is seen there; null otherwise. Whether
  // something lies over it is looked at only when `overlaid` is asked (it
  // makes the page work out every element's style twice: a quarter of a
  // second at 40,000 elements).
  function seenAt(link, x, y, overlaid) {
    try {
      var pieces = piecesOf(link);
      if (!pieces) return null;
      for (var i = 0; i < pieces.length; i++) {
        var piece = pieces[i];
        for (var k = 0; k < piece.boxes.length; k++) {
          var r = piece.boxes[k];
          if (x < r.left || x > r.right || y < r.top || y > r.bottom) continue;
          if (r.width < LEAST_WIDTH || r.height < LEAST_HEIGHT) return null;
          if (!shows(piece.element) || (piece.text && !readable(piece.element))) return null;
          if (overlaid && covered(link, pieces, x, y)) return null;
          return layoutOf(pieces);
        }
      }
    } catch (e) {}
    return null;
  }

  function press(e) {
    if (!e.isTrusted) return;
    pressed = null;
    if (e.button !== 0 && e.button !== 1) return;
    var link = linkOf(e);
    if (link) pressed = {link: link, seen: seenAt(link, e.clientX, e.clientY, false)};
  }

  function note(e) {
    if (!e.isTrusted) return;
    last = null;
    if (e.button !== 0 && e.button !== 1) return;
    var link = linkOf(e);
    if (!link) return;
    var raw = link.getAttribute('href');
    var href = link.href;
    if (typeof href !== 'string') href = new URL(raw, document.baseURI).href;
    var seen = seenAt(link, e.clientX, e.clientY, true);
    var plain = seen !== null && pressed !== null && pressed.link === link && pressed.seen === seen;
    pressed = null;
    last = {href: href, raw: raw, plain: plain, at: performance.now(), event: e};
  }

  // An address written the one way of those that stand for it: an escape
  // of a character that needs none taken out, any other escape in capitals,
  // and every character an address cannot hold as it is escaped (as the
  // engine and the page, which escape different characters, may not have).
  function canonical(address) {
    return address.replace(/%([0-9A-Fa-f]{2})|[^A-Za-z0-9\-._~!$&'()*+,;=:@\/?#\[\]%]|%/gu, function (m, hex) {
      if (hex) {
        var c = String.fromCharCode(parseInt(hex, 16));
        return /[A-Za-z0-9\-._~]/.test(c) ? c : '%' + hex.toUpperCase();
      }
      if (m === '%') return '%25';
      try { return encodeURIComponent(m); } catch (err) { return m; }
    });
  }

  function sameAddress(a, b) {
    try { return canonical(new URL(a).href) === canonical(new URL(b).href); } catch (e) { return false; }
  }

  window.addEventListener('pointerdown', press, true);
  window.addEventListener('click', note, true);
  window.addEventListener('auxclick', note, true);
  // The note of a click on a link to `wanted`, once: the link's URL, the
  // click's age, its href, whether that href leads to `wanted` from `page`
  // (the page's address as the program made it, which the page's scripts
  // may have changed since), and whether the user saw the link where the
  // click fell; null when the last click was not on such a link.
  window.orvaneTakeClick = function (wanted, page) {
    if (last && last.event.defaultPrevented) last = null;
    if (last === null || !sameAddress(wanted, last.href)) return null;
    var taken = last;
    last = null;
    var resolved = null;
    try { resolved = new URL(taken.raw, page).href; } catch (e) {}
    return [taken.href, performance.now() - taken.at, taken.raw, resolved !== null && sameAddress(resolved, wanted),
            taken.plain];
  };
})();
