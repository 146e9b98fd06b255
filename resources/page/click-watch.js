// Notes, for each click of the user's (with the main or the middle button),
// the URL of the link under it, its href as the link has it then, and
// whether the user saw that link where the click fell. It runs in the
// application's world: the page's scripts can neither see nor change it,
// and the clicks they make themselves are not trusted events. A click whose
// default the page prevented opens nothing and lets nothing leave: its note
// would serve only the page's own later navigation.
//
// A link is seen where the click fell only when the watch can tell, from
// what the page is made of, that the user saw the link's own ink there, as
// the button went down and as it came up (the link there and the same size
// both times). Whatever it cannot tell is not seen, and the program asks:
// the rule is kept plain rather than clever, for a page that wants a link
// to pass for something else has many ways to try.
// - On a character of the link's text (a space only between two of its
//   words), large enough to read, in a font of the user's system (a font
//   of the page's own may draw nothing), in HTML (not SVG), or on a picture
//   (an img of the link's, or of the map of its area), drawn as it is, which
//   the program then looks at itself (the page may not read its pixels):
//   opaque where the click fell, and showing something, not one colour that
//   is the colour behind it. Any other thing a link holds (a frame, a
//   canvas, a video, an SVG drawing, a control) is not vouched for.
// - Drawn plainly: the text's fill opaque enough and of a colour that stands
//   out from what is behind it, with no stroke and no shadow; it and every
//   element around it neither hidden, faded below half, filtered, masked,
//   clipped (by a clip path, a clip, or an overflow the point lies outside
//   of), blended, transformed beyond a move, skipped (content-visibility),
//   nor painting its background through the text, with no generated content
//   (::before, ::after) that is more than plain text beside the link's own,
//   and no styled first line or letter.
// - What is behind it known: the background colours of the elements around
//   it where they paint the point, from the innermost out to the first
//   opaque one (over the canvas, white, when there is none), with no
//   picture or gradient among them and no border under the point.
// - Nothing else at the point, as the click ends: the elements there, every
//   one also taking the pointer for the moment, are the text's own element
//   and those around it, down to that opaque background; no element the
//   page made inert lies there; and no element's shadow, outline, text
//   shadow, reflection, border picture or filter reaches the point (the
//   page's style sheets say which elements may have one).
(function () {
  'use strict';
  // What a piece of a link must be to be seen: its size in the page's
  // pixels, how opaque it and its colour are, and how far its colour stands
  // out from what is behind it (as the ratio of their luminances).
  var LEAST_WIDTH = 4, LEAST_HEIGHT = 6, LEAST_OPACITY = 0.5, LEAST_CONTRAST = 1.5;
  // A character clicked: at least this wide, and at most this many times
  // its font's size (wider, it is mostly spacing the page added).
  var LEAST_GLYPH_WIDTH = 2, WIDEST_GLYPH = 2;
  // The most pieces (runs of text, pictures) of a link looked at, the most
  // characters of the run clicked, and the most elements whose style may
  // paint elsewhere: past these, nothing is vouched for.
  var MOST_PIECES = 2000, MOST_CHARACTERS = 20000, MOST_SUSPECTS = 4000;
  // The most elements looked at one by one, in a page whose style sheets
  // cannot all be read.
  var MOST_LOOKED_AT = 20000;
  // Every element hit at a point, also those the page makes the pointer
  // pass through: for a moment, at a weight no selector of the page's beats.
  var WEIGHT = '#o#o#o#o#o#o#o#o#o#o#o#o#o#o#o#o';
  var HIT_ALL = ':is(*, ' + WEIGHT + '), :is(*, ' + WEIGHT + ')::before, :is(*, ' + WEIGHT + ')::after' +
                ' { pointer-events: auto !important; }';
  var hitAll = null;
  var REPLACED = 'img, svg, video, canvas, input, button, select, textarea, object, embed, iframe, audio, math';
  var HTML = 'http://www.w3.org/1999/xhtml';
  // Characters that draw nothing.
  var BLANK = /^[\s\u00ad\u034f\u061c\u115f\u1160\u17b4\u17b5\u180b-\u180f\u200b-\u200f\u202a-\u202e\u2060-\u206f\u2800\u3164\ufe00-\ufe0f\ufeff\uffa0\ufff0-\ufff8]$|^[\udb40][\udc00-\udfff]$/;
  // The properties of a style rule whose effect may be painted away from
  // its element's box, or let the pointer through something painted.
  var ELSEWHERE = ['box-shadow', 'outline-style', 'text-shadow', '-webkit-box-reflect', 'filter',
                   'backdrop-filter', '-webkit-backdrop-filter', 'border-image-source', '-webkit-border-image'];
  // Pseudo-elements in a selector: the element the rule styles is the one
  // the rest of the selector finds.
  var PSEUDO = /::?(before|after|first-line|first-letter|marker|selection|placeholder|backdrop|file-selector-button|-webkit-[\w-]+)(\([^)]*\))?/gi;

  var last = null, pressed = null;

  function linkOf(e) {
    var node = e.target;
    if (node && node.nodeType !== 1) node = node.parentElement;
    return node && node.closest ? node.closest('a[href], area[href]') : null;
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

  function contrast(a, b) {
    return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
  }

  // `over` laid on the opaque `under` with `alpha`.
  function blend(over, alpha, under) {
    return [0, 1, 2].map(function (k) { return over[k] * alpha + under[k] * (1 - alpha); });
  }

  function px(text) {
    var v = parseFloat(text);
    return isNaN(v) ? 0 : v;
  }

  function inside(r, x, y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
  }

  function grown(r, by) {
    return {left: r.left - by, top: r.top - by, right: r.right + by, bottom: r.bottom + by};
  }

  // Each box of `element` less its borders (and its padding, with
  // `padding`), as drawn.
  function innerBoxes(element, style, padding) {
    var l = px(style.borderLeftWidth) + (padding ? px(style.paddingLeft) : 0);
    var t = px(style.borderTopWidth) + (padding ? px(style.paddingTop) : 0);
    var r = px(style.borderRightWidth) + (padding ? px(style.paddingRight) : 0);
    var b = px(style.borderBottomWidth) + (padding ? px(style.paddingBottom) : 0);
    return Array.prototype.map.call(element.getClientRects(), function (box) {
      return {left: box.left + l, top: box.top + t, right: box.right - r, bottom: box.bottom - b,
              width: box.width - l - r, height: box.height - t - b};
    });
  }

  // Whether (x, y) lies in `box` where rounded corners of up to `radius`
  // leave it drawn.
  function inRounded(box, radius, x, y) {
    if (!inside(box, x, y)) return false;
    if (radius <= 0) return true;
    return (x >= box.left + radius && x <= box.right - radius) || (y >= box.top + radius && y <= box.bottom - radius);
  }

  function largestRadius(element, style) {
    var most = 0;
    ['borderTopLeftRadius', 'borderTopRightRadius', 'borderBottomLeftRadius', 'borderBottomRightRadius']
      .forEach(function (corner) {
        String(style[corner] || '').split(/\s+/).forEach(function (v) {
          if (!v) return;
          var r = /%$/.test(v) ? parseFloat(v) / 100 * Math.max(element.offsetWidth || 0, element.offsetHeight || 0)
                               : px(v);
          most = Math.max(most, isNaN(r) ? Infinity : r);
        });
      });
    return most;
  }

  function transparent(text) {
    var c = colour(text);
    return c !== null && c[3] === 0;
  }

  function hasEffect(value) {
    return value !== undefined && value !== null && value !== '' && value !== 'none';
  }

  // Generated content that is plain text beside the element's own: inline,
  // in place, with nothing painted around it and nothing that pulls it over
  // its neighbours.
  function plainBeside(style) {
    if (style.content === 'none' || style.content === 'normal' || style.display === 'none') return true;
    return style.position === 'static' && style.float === 'none' && style.display === 'inline' &&
           !hasEffect(style.transform) && !hasEffect(style.textShadow) && !hasEffect(style.boxShadow) &&
           !hasEffect(style.filter) && style.backgroundImage === 'none' && transparent(style.backgroundColor) &&
           (style.outlineStyle === 'none' || px(style.outlineWidth) === 0) &&
           ['marginLeft', 'marginRight', 'marginTop', 'marginBottom', 'letterSpacing', 'wordSpacing', 'textIndent']
             .every(function (p) { return !(px(style[p]) < 0); }) &&
           style.verticalAlign === 'baseline';
  }

  // Whether the first line or letter of `element` is styled otherwise than
  // the element itself.
  function firstStyled(element, style) {
    for (var pseudo of ['::first-line', '::first-letter']) {
      var first = getComputedStyle(element, pseudo);
      if (!first.color) continue;  // none to tell of
      if (first.color !== style.color || first.webkitTextFillColor !== style.webkitTextFillColor ||
          first.textShadow !== style.textShadow || first.webkitTextStrokeWidth !== style.webkitTextStrokeWidth ||
          first.fontSize !== style.fontSize || first.fontFamily !== style.fontFamily ||
          first.letterSpacing !== style.letterSpacing ||
          (first.backgroundImage !== 'none' && first.backgroundImage !== style.backgroundImage) ||
          (first.backgroundColor !== style.backgroundColor && !transparent(first.backgroundColor)))
        return true;
    }
    return false;
  }

  // The elements `element` is drawn inside, from it out; null when one of
  // them is drawn through another tree (a shadow root's slot).
  function chainOf(element) {
    var chain = [];
    for (var e = element; e; e = e.parentElement) {
      if (e.shadowRoot || e.assignedSlot) return null;
      chain.push(e);
    }
    var root = chain[chain.length - 1];
    return root === document.documentElement ? chain : null;
  }

  // Whether every element of `chain` draws what is inside it as it is at
  // (x, y): the product of their opacities, or 0 when one of them hides,
  // filters, masks, clips, blends, transforms or skips it there.
  function drawnPlainly(chain, x, y) {
    var opacity = 1;
    var html = document.documentElement, body = document.body;
    var htmlStyle = getComputedStyle(html);
    for (var i = 0; i < chain.length; i++) {
      var e = chain[i], style = getComputedStyle(e);
      opacity *= parseFloat(style.opacity);
      if (hasEffect(style.filter) || hasEffect(style.backdropFilter) || hasEffect(style.webkitBackdropFilter) ||
          hasEffect(style.webkitMaskImage) || hasEffect(style.maskImage) ||
          hasEffect(style.webkitMaskBoxImageSource) || hasEffect(style.clipPath) ||
          (style.clip && style.clip !== 'auto') || style.mixBlendMode !== 'normal' ||
          hasEffect(style.webkitBoxReflect) || hasEffect(style.rotate) || hasEffect(style.scale) ||
          (style.contentVisibility && style.contentVisibility !== 'visible') ||
          style.backgroundClip === 'text' || style.webkitBackgroundClip === 'text')
        return 0;
      // Moved, the boxes it reports are where it is drawn; anything else
      // (a turn, a scale, a skew) draws it otherwise than its boxes say.
      if (hasEffect(style.transform) && !/^matrix\(1, 0, 0, 1, [^,]+, [^,]+\)$/.test(style.transform)) return 0;
      for (var pseudo of ['::before', '::after'])
        if (!plainBeside(getComputedStyle(e, pseudo))) return 0;
      if (style.display !== 'inline' && style.display !== 'contents' && firstStyled(e, style)) return 0;
      // An overflow that clips: the point must lie inside what it shows.
      // The root's, and the body's that the root takes over, clip to the
      // window the point lies in.
      var clips = style.overflowX !== 'visible' || style.overflowY !== 'visible' ||
                  /paint|strict|content/.test(style.contain || '');
      if (clips && e !== html && !(e === body && htmlStyle.overflowX === 'visible' &&
                                   htmlStyle.overflowY === 'visible')) {
        var r = e.getBoundingClientRect();
        var shown = {left: r.left + e.clientLeft, top: r.top + e.clientTop};
        shown.right = shown.left + e.clientWidth;
        shown.bottom = shown.top + e.clientHeight;
        if (!inRounded(shown, largestRadius(e, style), x, y)) return 0;
      }
    }
    return opacity;
  }

  // The colour behind the ink of chain[0] at (x, y): the background colours
  // of the elements around it that paint there, from the innermost out to
  // the first opaque one, over the canvas (white) when there is none. Null
  // when it cannot be told: a picture or gradient among them, a border
  // under the point, a dark canvas. `found.base` is told the element whose
  // opaque background is the last, or null for the canvas.
  function behind(chain, x, y, found) {
    var layers = [];
    var html = document.documentElement, body = document.body;
    var rootStyle = getComputedStyle(html);
    var bodyTakesCanvas = transparent(rootStyle.backgroundColor) && rootStyle.backgroundImage === 'none';
    found.base = null;
    for (var i = 0; i < chain.length; i++) {
      var e = chain[i], style = getComputedStyle(e);
      var everywhere = e === html || (e === body && bodyTakesCanvas);
      var c = colour(style.backgroundColor);
      if (!c) return null;
      if (!everywhere) {
        var radius = largestRadius(e, style);
        var there = function (boxes) { return boxes.some(function (b) { return inRounded(b, radius, x, y); }); };
        // Not here: it paints nothing under the point.
        if (!there(Array.prototype.slice.call(e.getClientRects()))) continue;
        // On its border: what the border is drawn with is not looked at.
        if (!innerBoxes(e, style, false).some(function (b) { return inside(b, x, y); })) return null;
        if (style.backgroundClip === 'content-box' && !there(innerBoxes(e, style, true))) continue;
      }
      if (style.backgroundImage !== 'none') return null;
      if (c[3] > 0) {
        layers.push(c);
        if (c[3] >= 1) {
          found.base = everywhere ? null : e;
          break;
        }
      }
    }
    // The canvas: the page's own white, unless the page asks for a dark one.
    if ((!layers.length || layers[layers.length - 1][3] < 1) && /dark/.test(rootStyle.colorScheme || '')) return null;
    var under = [255, 255, 255];
    for (var k = layers.length - 1; k >= 0; k--) under = blend(layers[k], layers[k][3], under);
    return under;
  }

  // The character of `node` whose box holds (x, y), as {text, box, blank};
  // null when there is none or too many to look at. A blank counts only
  // between two characters of the node that draw something (a space between
  // two words of the link).
  function characterAt(node, x, y) {
    var data = node.data;
    if (data.length > MOST_CHARACTERS) return null;
    var range = document.createRange();
    for (var i = 0; i < data.length;) {
      var size = data.codePointAt(i) > 0xffff ? 2 : 1;
      range.setStart(node, i);
      range.setEnd(node, i + size);
      var boxes = range.getClientRects();
      for (var k = 0; k < boxes.length; k++) {
        if (!inside(boxes[k], x, y)) continue;
        var text = data.substr(i, size), blank = BLANK.test(text);
        if (blank && (text === '\n' || !drawn(data, i, -1) || !drawn(data, i + size, 1))) return null;
        return {text: text, box: boxes[k], blank: blank};
      }
      i += size;
    }
    return null;
  }

  // Whether the character of `data` next to `at` (before it with `way` -1,
  // at it with 1) draws something.
  function drawn(data, at, way) {
    if (way < 0) {
      if (at <= 0) return false;
      var before = data.codePointAt(at - 1);
      var start = at >= 2 && before >= 0xdc00 && before <= 0xdfff ? at - 2 : at - 1;
      return !BLANK.test(data.slice(start, at));
    }
    if (at >= data.length) return false;
    return !BLANK.test(String.fromCodePoint(data.codePointAt(at)));
  }

  // Whether the text of `node`, in `element`, is drawn plainly where its
  // character `glyph` lies at (x, y).
  function textSeen(node, element, glyph, chain, opacity, x, y, found) {
    if (element.namespaceURI !== HTML) return false;
    var style = getComputedStyle(element);
    if (style.visibility !== 'visible') return false;
    var size = px(style.fontSize);
    if (glyph.box.height < LEAST_HEIGHT || glyph.box.width > WIDEST_GLYPH * size ||
        (!glyph.blank && glyph.box.width < LEAST_GLYPH_WIDTH))
      return false;
    if (hasEffect(style.textShadow) || px(style.webkitTextStrokeWidth) !== 0) return false;
    if (pageFont(style.fontFamily)) return false;
    var fill = colour(style.webkitTextFillColor || style.color);
    if (!fill) return false;
    var alpha = fill[3] * opacity;
    if (alpha < LEAST_OPACITY) return false;
    var back = behind(chain, x, y, found);
    if (!back) return false;
    return contrast(luminance(blend(fill, alpha, back)), luminance(back)) >= LEAST_CONTRAST;
  }

  // Whether a family of `families` (a computed font-family) is one the page
  // brought itself (@font-face), whose letters may be drawn as anything.
  function pageFont(families) {
    var own = {};
    var any = false;
    document.fonts.forEach(function (face) {
      own[face.family.replace(/^["']|["']$/g, '').toLowerCase()] = true;
      any = true;
    });
    if (!any) return false;
    return families.split(',').some(function (family) {
      return own[family.trim().replace(/^["']|["']$/g, '').toLowerCase()] === true;
    });
  }

  // Whether the picture `img` may be seen at (x, y): loaded, drawn as it
  // is (not replaced, nor moved about in its box), large enough. What it
  // shows there is for the program to tell, as the page may not read a
  // picture's pixels: `found.picture` is told the picture's address, where
  // in it the point lies (as fractions of its width and height), how opaque
  // the elements around it draw it, and the colour behind it when known.
  function pictureSeen(img, chain, opacity, x, y, found) {
    if (!(img instanceof HTMLImageElement) || !img.complete || !img.naturalWidth || !img.naturalHeight) return false;
    var style = getComputedStyle(img);
    if (style.visibility !== 'visible' || style.objectFit !== 'fill' ||
        (style.content !== 'normal' && style.content !== 'none'))
      return false;
    var box = innerBoxes(img, style, true)[0];
    if (!box || box.width < LEAST_WIDTH || box.height < LEAST_HEIGHT || !inside(box, x, y)) return false;
    var back = behind(chain.slice(1), x, y, found);
    found.picture = [img.currentSrc, (x - box.left) / box.width, (y - box.top) / box.height, opacity]
                      .concat(back ? back.map(Math.round) : []);
    return true;
  }

  // The pieces the user sees of `link`: its runs of text, its pictures and
  // anything else it holds drawn by itself (for an area, the pictures that
  // use its map), each with its boxes. Null when there are too many to look
  // at.
  function piecesOf(link) {
    var pieces = [];
    if (link.localName === 'area') {
      var map = link.closest('map');
      var name = map ? map.getAttribute('name') || map.id : '';
      var pictures = name ? document.querySelectorAll('img[usemap]') : [];
      for (var i = 0; i < pictures.length; i++)
        if (pictures[i].getAttribute('usemap') === '#' + name)
          pieces.push({element: pictures[i], boxes: pictures[i].getClientRects(), node: null});
      return pieces;
    }
    var walker = document.createTreeWalker(link, NodeFilter.SHOW_TEXT | NodeFilter.SHOW_ELEMENT);
    for (var node = walker.nextNode(); node; node = walker.nextNode()) {
      if (pieces.length >= MOST_PIECES) return null;
      if (node.nodeType === 1) {
        if (node.matches(REPLACED)) {
          pieces.push({element: node, boxes: node.getClientRects(), node: null});
          // What lies inside a picture is no text of the page's: the walk
          // goes on after it.
          var inner = node;
          while (inner.lastChild) inner = inner.lastChild;
          walker.currentNode = inner;
        }
      } else if (/\S/.test(node.data) && node.parentElement) {
        var range = document.createRange();
        range.selectNodeContents(node);
        pieces.push({element: node.parentElement, boxes: range.getClientRects(), node: node});
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

  // Two properties of this page's own, of names the page cannot know, that
  // no element hands down to those inside it: set on an element and asked
  // of the one inside it, they tell whether that one is drawn in it, or in
  // another tree (a shadow root's slot) whose elements know neither.
  var ROOTED = ['--orvane-' + Math.random().toString(36).slice(2), '--orvane-' + Math.random().toString(36).slice(2)];
  var rooted = null;
  function registerRooted() {
    if (rooted === null) {
      try {
        ROOTED.forEach(function (name) {
          CSS.registerProperty({name: name, syntax: '<integer>', inherits: false, initialValue: '0'});
        });
        rooted = true;
      } catch (e) {
        rooted = false;
      }
    }
    return rooted;
  }

  // A selector that finds `element` alone, by its place from the root.
  function placeOf(element) {
    var steps = [];
    for (var e = element; e !== document.documentElement; e = e.parentElement) {
      var n = 1;
      for (var s = e.previousElementSibling; s; s = s.previousElementSibling) n++;
      steps.unshift(':nth-child(' + n + ')');
    }
    return [':root'].concat(steps).join(' > ');
  }

  // Rules by which each element of `chain` tells whether it is drawn in the
  // next: its own property set, the other taken from the element it is
  // drawn in.
  function rootedRules(chain) {
    return chain.map(function (e, i) {
      var own = ROOTED[i % 2], asked = ROOTED[(i + 1) % 2];
      return placeOf(e) + ' { ' + own + ': 1 !important; ' + asked + ': inherit !important; }';
    }).join('\n');
  }

  // The elements at (x, y), the topmost first, with every element taking
  // the pointer; null when an element of `chain` is not drawn in the next.
  function allAt(chain, x, y) {
    if (!registerRooted()) return null;
    if (!hitAll) {
      hitAll = new CSSStyleSheet();
      hitAll.replaceSync(HIT_ALL);
    }
    var sheet = new CSSStyleSheet();
    sheet.replaceSync(rootedRules(chain));
    var before = Array.prototype.slice.call(document.adoptedStyleSheets);
    document.adoptedStyleSheets = before.concat([hitAll, sheet]);
    try {
      for (var i = 0; i + 1 < chain.length; i++)
        if (getComputedStyle(chain[i]).getPropertyValue(ROOTED[(i + 1) % 2]).trim() !== '1') return null;
      return document.elementsFromPoint(x, y);
    } finally {
      document.adoptedStyleSheets = before;
    }
  }

  // Whether something else is drawn at (x, y) over what lies behind the
  // piece's element (chain[0]) down to `base` (the element whose opaque
  // background is behind it; null for the canvas): the elements there,
  // topmost first, must be chain[0] and those around it.
  function otherAt(chain, base, link, x, y) {
    var there = allAt(chain, x, y);
    // An area of a picture's map is hit over its picture.
    if (there && there[0] === link && link.localName === 'area') there = there.slice(1);
    if (!there || there[0] !== chain[0]) return true;
    var next = 1;
    for (var i = 1; i < there.length; i++) {
      if (there[i] === base) return false;
      var at = chain.indexOf(there[i], next);
      if (at < 0) return true;
      next = at + 1;
    }
    return false;
  }

  // The rules of the page's style sheets, however deep inside others
  // (media, supports, layers, imports); null when a sheet cannot be read
  // (the engine lets no page read a sheet of its folder's).
  function pageRules() {
    var rules = [];
    var add = function (list) {
      for (var i = 0; i < list.length; i++) {
        var rule = list[i];
        if (rule.href !== undefined && 'styleSheet' in rule) {
          if (!rule.styleSheet || !add(rule.styleSheet.cssRules)) return false;
        } else if (rule.cssRules) {
          if (rule.style) rules.push(rule);
          if (!add(rule.cssRules)) return false;
        } else if (rule.style) {
          rules.push(rule);
        }
      }
      return true;
    };
    var sheets = Array.prototype.slice.call(document.styleSheets)
                   .concat(Array.prototype.slice.call(document.adoptedStyleSheets));
    for (var i = 0; i < sheets.length; i++) {
      if (sheets[i] === hitAll) continue;  // never there now, but not the page's
      var list;
      try { list = sheets[i].cssRules; } catch (e) { return null; }
      if (!list || !add(list)) return null;
    }
    return rules;
  }

  // Whether `rule` (or an element's own style) sets one of `properties`
  // (to anything but its initial "none").
  function sets(rule, properties) {
    return properties.some(function (p) {
      var v = rule.style.getPropertyValue(p);
      return v !== '' && v !== 'none' && v !== 'initial';
    });
  }

  // The parts of a computed shadow list ("rgb(0, 0, 0) 1px 2px 3px inset,
  // ..."): {colour, lengths, inset} each.
  function shadows(text) {
    if (!hasEffect(text)) return [];
    return text.split(/,(?![^(]*\))/).map(function (one) {
      var c = one.match(/rgba?\([^)]*\)/);
      var rest = one.replace(/rgba?\([^)]*\)/, '');
      return {colour: c ? colour(c[0]) : null, lengths: (rest.match(/-?[\d.]+px/g) || []).map(px),
              inset: /\binset\b/.test(rest)};
    });
  }

  // How far beyond its box what a shadow list draws may reach.
  function reach(list) {
    return list.reduce(function (most, s) {
      var l = s.lengths;
      return Math.max(most, Math.abs(l[0] || 0) + Math.abs(l[1] || 0) + Math.abs(l[2] || 0) + Math.max(0, l[3] || 0));
    }, 0);
  }

  // Whether what the style of `e` paints beyond its own box, or inside it
  // under what it holds, reaches (x, y). `inChain`: e is drawn around the
  // piece clicked; `alone`: the elements inside e are looked at by
  // themselves.
  function paintsAt(e, style, inChain, x, y, alone) {
    if (!hasEffect(style.boxShadow) && (style.outlineStyle === 'none' || px(style.outlineWidth) === 0) &&
        !hasEffect(style.textShadow) && !hasEffect(style.webkitBoxReflect) && !hasEffect(style.filter) &&
        !hasEffect(style.backdropFilter) && !hasEffect(style.webkitBackdropFilter) &&
        !hasEffect(style.borderImageSource))
      return false;
    var boxes = Array.prototype.slice.call(e.getClientRects());
    var inBox = boxes.some(function (b) { return inside(b, x, y); });
    var list = shadows(style.boxShadow).filter(function (s) { return !s.colour || s.colour[3] > 0; });
    if (list.some(function (s) { return s.inset; }) && inBox) return true;
    var outer = list.filter(function (s) { return !s.inset; });
    if (outer.length && !inBox && boxes.some(function (b) { return inside(grown(b, reach(outer)), x, y); }))
      return true;
    if (style.outlineStyle !== 'none' && px(style.outlineWidth) > 0 && !transparent(style.outlineColor)) {
      var offset = px(style.outlineOffset), width = px(style.outlineWidth);
      var all = boxes.concat(boxes.length ? [e.getBoundingClientRect()] : []);
      if (all.some(function (b) { return inside(grown(b, offset + width), x, y) && !inside(grown(b, offset), x, y); }))
        return true;
    }
    if (hasEffect(style.textShadow)) {
      var by = reach(shadows(style.textShadow));
      // What is inside takes the shadow too, and may lie outside the box.
      var texts = alone ? [e] : [e].concat(Array.prototype.slice.call(e.querySelectorAll('*'), 0, MOST_SUSPECTS));
      if (texts.some(function (t) {
            return Array.prototype.some.call(t.getClientRects(), function (b) { return inside(grown(b, by), x, y); });
          }))
        return true;
    }
    if (hasEffect(style.webkitBoxReflect)) return true;
    if (hasEffect(style.webkitBackdropFilter) || hasEffect(style.backdropFilter)) {
      if (inBox) return true;
    }
    if (!inChain && hasEffect(style.filter)) {
      if (/url\(/.test(style.filter)) return true;
      var spread = (style.filter.match(/-?[\d.]+px/g) || []).reduce(function (s, v) { return s + 3 * Math.abs(px(v)); }, 0);
      if (boxes.some(function (b) { return inside(grown(b, spread), x, y); })) return true;
    }
    if (hasEffect(style.borderImageSource)) {
      var outset = (String(style.borderImageOutset).match(/[\d.]+(px)?/g) || []).reduce(function (s, v) {
        return Math.max(s, /px$/.test(v) ? px(v) : px(v) * Math.max(px(style.borderTopWidth), px(style.borderLeftWidth),
                                                                   px(style.borderRightWidth), px(style.borderBottomWidth)));
      }, 0);
      if (boxes.some(function (b) { return inside(grown(b, outset), x, y); })) return true;
    }
    return false;
  }

  // Whether anything of the page's style is painted at (x, y) beyond the
  // boxes there (a shadow, an outline, a text shadow, a reflection, a
  // filter, a border picture), or lets the pointer through what the page
  // drew there (an important rule, an inert element), other than over
  // `chain` itself.
  function foreignPaintAt(chain, link, x, y) {
    var rules = pageRules();
    var suspects = new Set(), letting = new Set(), pseudos = new Set();
    var alone = rules === null;
    if (alone) {
      // A style sheet the page may not read (one of its folder's): every
      // element is looked at as it is drawn, and what lets the pointer
      // through as it is.
      var all = document.getElementsByTagName('*');
      if (all.length > MOST_LOOKED_AT) return true;
      for (var a = 0; a < all.length; a++) {
        suspects.add(all[a]);
        pseudos.add(all[a]);
        if (getComputedStyle(all[a]).pointerEvents !== 'auto') letting.add(all[a]);
      }
      rules = [];
    }
    // An element's own style: what it sets is all it may do.
    document.querySelectorAll('[style]').forEach(function (e) {
      if (sets(e, ELSEWHERE)) suspects.add(e);
      if (e.style.getPropertyValue('pointer-events') !== '') letting.add(e);
    });
    if (!alone && suspects.size + letting.size > MOST_SUSPECTS) return true;
    for (var i = 0; i < rules.length; i++) {
      var rule = rules[i];
      var paints = sets(rule, ELSEWHERE);
      var lets = rule.style.getPropertyValue('pointer-events') !== '' &&
                 rule.style.getPropertyPriority('pointer-events') === 'important';
      if (!paints && !lets) continue;
      var selector = rule.selectorText;
      if (!selector) return true;
      var origin = selector.replace(PSEUDO, '');
      var found;
      try { found = document.querySelectorAll(origin.trim() || '*'); } catch (e) { return true; }
      if (suspects.size + found.length > MOST_SUSPECTS) return true;
      for (var k = 0; k < found.length; k++) {
        if (origin !== selector) pseudos.add(found[k]);
        else suspects.add(found[k]);
        if (lets) letting.add(found[k]);
      }
    }
    var inChain = new Set(chain);
    for (var e of suspects) {
      if (paintsAt(e, getComputedStyle(e), inChain.has(e), x, y, alone)) return true;
    }
    // Generated content of a rule that paints elsewhere: where it is drawn
    // cannot be told.
    for (var p of pseudos) {
      for (var which of ['::before', '::after', '::first-line', '::first-letter', '::marker']) {
        var ps = getComputedStyle(p, which);
        if (which.indexOf('first') < 0 && which !== '::marker' && (ps.content === 'none' || ps.content === 'normal'))
          continue;
        if (hasEffect(ps.boxShadow) || (ps.outlineStyle !== 'none' && px(ps.outlineWidth) > 0) ||
            hasEffect(ps.textShadow) || hasEffect(ps.filter) || hasEffect(ps.webkitBoxReflect) ||
            hasEffect(ps.backdropFilter) || hasEffect(ps.borderImageSource) || ps.pointerEvents !== 'auto')
          return true;
      }
    }
    // What lets the pointer through however the watch asks: a rule of the
    // page's that outweighs its own, an element's own style, or an element
    // made inert, with all inside it.
    var inert = document.querySelectorAll('[inert], [inert] *');
    if (inert.length > MOST_SUSPECTS) return true;
    inert.forEach(function (e) { letting.add(e); });
    for (var l of letting) {
      if (inChain.has(l) || link.contains(l)) continue;
      if (Array.prototype.some.call(l.getClientRects(), function (b) { return inside(b, x, y); })) return true;
    }
    return false;
  }

  // What the user sees of `link` at (x, y), when the point falls on a piece
  // of it that is seen there: the layout of its pieces, and for a picture
  // what the program is to look at in it (see pictureSeen()); null
  // otherwise. What else is
  // drawn at the point is looked at only when `overlaid` is asked (it makes
  // the page work out every element's style twice: a quarter of a second
  // at 40,000 elements).
  function seenAt(link, x, y, overlaid) {
    try {
      var pieces = piecesOf(link);
      if (!pieces) return null;
      for (var i = 0; i < pieces.length; i++) {
        var piece = pieces[i];
        var hit = false;
        for (var k = 0; k < piece.boxes.length && !hit; k++) hit = inside(piece.boxes[k], x, y);
        if (!hit) continue;
        var glyph = null;
        if (piece.node) {
          glyph = characterAt(piece.node, x, y);
          if (!glyph) continue;
        }
        var r = glyph ? glyph.box : piece.boxes[0];
        for (k = 0; k < piece.boxes.length; k++)
          if (inside(piece.boxes[k], x, y)) r = piece.boxes[k];
        if (r.width < LEAST_WIDTH || r.height < LEAST_HEIGHT) return null;
        var chain = chainOf(piece.element);
        if (!chain) return null;
        var opacity = drawnPlainly(chain, x, y);
        if (opacity < LEAST_OPACITY) return null;
        var found = {};
        if (piece.node ? !textSeen(piece.node, piece.element, glyph, chain, opacity, x, y, found)
                       : !pictureSeen(piece.element, chain, opacity, x, y, found))
          return null;
        if (overlaid && (otherAt(chain, found.base, link, x, y) || foreignPaintAt(chain, link, x, y))) return null;
        return {layout: layoutOf(pieces), picture: found.picture || null};
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
    var plain = seen !== null && pressed !== null && pressed.link === link && pressed.seen !== null &&
                pressed.seen.layout === seen.layout;
    pressed = null;
    last = {href: href, raw: raw, plain: plain, picture: plain ? seen.picture : null, at: performance.now(), event: e};
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
  // may have changed since), whether the user saw the link where the click
  // fell, and, when that was on a picture, what the program is to look at
  // in it (see pictureSeen()); null when the last click was not on such a
  // link.
  window.orvaneTakeClick = function (wanted, page) {
    if (last && last.event.defaultPrevented) last = null;
    if (last === null || !sameAddress(wanted, last.href)) return null;
    var taken = last;
    last = null;
    var resolved = null;
    try { resolved = new URL(taken.raw, page).href; } catch (e) {}
    return [taken.href, performance.now() - taken.at, taken.raw, resolved !== null && sameAddress(resolved, wanted),
            taken.plain, taken.picture];
  };
})();
