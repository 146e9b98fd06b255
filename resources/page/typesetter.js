// Sets the preview's math with MathJax a little at a time, so that a change
// never waits for the math of the rest of the page. It runs in the page's own
// world, after MathJax.js (configured by mathjax-config.js, which typesets
// nothing by itself).
//
// The blocks of the body (its top-level elements, or those of the filled
// parts of a page in parts) that hold math wait here until they are set.
// They are set in slices of a few blocks, each one MathJax typesetting, in
// this order: the blocks a change just put in, then those in or near the
// view (two screens above and below it), at once, in slices of some 50 ms;
// the rest only while the page is idle (no change came for half a second),
// in slices of some 150 ms, and only while that is cheap: when the pace of
// the slices so far says the rest takes longer than IDLE_BUDGET_MS, the far
// math stays as written until the view comes near it. Each slice costs the
// page a layout and a frame of the whole page besides its math, so that the
// rest of a page of megabytes would keep the page's process busy for many
// minutes after every pause in typing.
//
// What needs every formula set (printing, a PDF of the page) asks for the
// whole page: setAll(true) sets everything that waits, in slices of about
// a second (fewer, longer slices spend less on the page's frames, and the
// page still answers between them), until setAll(false).
//
// A change goes into the page whenever it comes: between two slices
// (a slice of the view or of the idle page runs as one task unless MathJax
// must load a file; MathJax gives way every quarter of a second within a
// longer one), or during one that waits, whose blocks may then leave the
// page under it.
// Those are moved out of sight for the rest of the slice, outside the body,
// rather than taken from the document: MathJax measures what it sets, and
// math out of the document has no layout to measure.
//
// The page keeps still while math is set around what the reader looks at:
// the caret's anchor (TZRHTMLSCROLLPOINT) when it is in view, else the
// first block in view, stays where it stood on screen after each slice and
// whenever the page's height changes (a font of MathJax's arrives), until
// the page is scrolled (by the reader, or by the preview putting the
// caret's block at the caret's height after a change).
//
//   orvaneTypesetter.add(nodes, first)  blocks a change put in (first) or
//                                       that a load or a fill brought
//   orvaneTypesetter.addAll()           every block of the body
//   orvaneTypesetter.waiting()          how many blocks wait to be set
//   orvaneTypesetter.busy()             whether a slice runs or is due
//   orvaneTypesetter.setAll(on)         sets every block until turned
//                                       off; answers waiting()
(function () {
  'use strict';
  if (window.orvaneTypesetter) return;
  var HUB = window.MathJax && window.MathJax.Hub;
  if (!HUB || !HUB.Register) {
    // MathJax is not installed: math shows as written.
    window.orvaneTypesetter = {add: function () {}, addAll: function () {}, waiting: function () { return 0; },
                               busy: function () { return false; }, setAll: function () { return 0; }};
    return;
  }

  var PART = 'orvane-part', EMPTY = 'orvane-rest', ANCHOR = 'TZRHTMLSCROLLPOINT';
  // What a slice should take, in milliseconds: one of the view's, and one of
  // the rest while the page idles (longer: each slice costs the page a frame
  // besides the math, which short ones would spend most of the time on), and
  // one of the whole page; the blocks a slice takes at most; a slice that
  // waits on a file longer than GIVE_UP is left behind.
  var AIM = {view: 50, idle: 150, whole: 1000}, MOST_BLOCKS = 128, MOST_WHOLE_BLOCKS = 1024, GIVE_UP = 15000;
  // How many screens above and below the view count as near it.
  var NEAR_SCREENS = 2;
  // The rest of the page is set while idle only when the pace says it takes
  // no longer than this; and the idle slices stop after twice as long since
  // the last change, should the pace have been wrong.
  var IDLE_BUDGET_MS = 2000;
  // The page is idle once no change came for this long: while the user
  // types, no slice of the rest comes between two keys.
  var QUIET_MS = 500;
  // Text that MathJax's TeX input takes for math (or a reference to it).
  var TEX = /\\\(|\\\[|\$\$|\\begin\{|\\(?:eq)?ref\{/;

  var ready = false;
  var waiting = new Set();  // blocks with math not yet set, in the order they came
  var first = [];           // of those, the ones a change put in
  var slice = null;         // the slice being set: {blocks, started}
  var perSlice = {view: 4, idle: 4, whole: 16};  // blocks per slice, as the last slices took
  var pace = 0;             // milliseconds a block took in the last slices (0: none yet)
  var idleSpent = 0;        // milliseconds of idle slices since the last change
  var whole = false;        // every block is set, for what needs the whole page
  var soon = 0, idle = 0;   // the timer of the next slice, or its idle callback
  var later = 0;            // the timer that waits for the page to be idle
  var lastChange = 0;       // when a change last put blocks in
  var held = null;          // where the blocks that left during a slice wait

  function prune() {
    waiting.forEach(function (e) { if (!e.isConnected) waiting.delete(e); });
  }

  function hasMath(e) {
    return e.nodeType === 1 && (TEX.test(e.textContent) || !!e.querySelector('math') || e.localName === 'math');
  }

  function add(nodes, urgent) {
    // Blocks that left the page unset (a change replaced them, a part far
    // from the view was emptied) go, lest the far math that waits keep
    // them alive.
    prune();
    for (var i = 0; i < nodes.length; i++) {
      var e = nodes[i];
      if (!e || e.nodeType !== 1 || waiting.has(e) || !hasMath(e)) continue;
      waiting.add(e);
      if (urgent) first.push(e);
    }
    if (urgent) { lastChange = Date.now(); idleSpent = 0; }
    schedule();
  }

  // Every block of the body: its children, or the children of its filled
  // parts.
  function blocksOf(container, out) {
    for (var e = container.firstElementChild; e; e = e.nextElementSibling) {
      if (e.classList.contains(PART)) {
        if (!e.classList.contains(EMPTY)) blocksOf(e, out);
      } else {
        out.push(e);
      }
    }
    return out;
  }

  function addAll() {
    if (document.body) add(blocksOf(document.body, []), false);
  }

  // --- The view ------------------------------------------------------------

  // The first of `list` (elements in order down the page) whose bottom is
  // below `y` (in the view's coordinates), found by halving.
  function firstBelow(list, y) {
    var low = 0, high = list.length;
    while (low < high) {
      var middle = (low + high) >> 1;
      if (list[middle].getBoundingClientRect().bottom < y) low = middle + 1; else high = middle;
    }
    return low;
  }

  // The blocks from `above` to `below` (in the view's coordinates), in order.
  function blocksBetween(container, above, below, out) {
    var list = container.children;
    for (var i = firstBelow(list, above); i < list.length; i++) {
      var e = list[i], box = e.getBoundingClientRect();
      if (box.top > below) break;
      if (e.classList.contains(PART)) {
        if (!e.classList.contains(EMPTY)) blocksBetween(e, above, below, out);
      } else {
        out.push(e);
      }
    }
    return out;
  }

  // The waiting blocks in view, then those within NEAR_SCREENS of it.
  function waitingNearView() {
    if (!document.body || !waiting.size) return [];
    var height = window.innerHeight, seen = [], near = [];
    blocksBetween(document.body, -NEAR_SCREENS * height, (1 + NEAR_SCREENS) * height, []).forEach(function (e) {
      if (!waiting.has(e)) return;
      var box = e.getBoundingClientRect();
      (box.bottom >= 0 && box.top <= height ? seen : near).push(e);
    });
    return seen.concat(near);
  }

  // What the reader looks at: the caret's anchor when it is in view, else
  // the first block in view.
  function reference() {
    var anchor = document.getElementById(ANCHOR);
    if (anchor) {
      var box = anchor.getBoundingClientRect();
      if (box.bottom >= 0 && box.top <= window.innerHeight) return anchor;
    }
    var container = document.body, e = null;
    while (container) {
      var list = container.children, i = firstBelow(list, 0);
      e = i < list.length ? list[i] : null;
      container = e && e.classList.contains(PART) && !e.classList.contains(EMPTY) ? e : null;
    }
    return e;
  }

  // Where the reader's place stands in the view, and the page's scroll
  // position then: the place is put back there when the page's height
  // changes (math set, a font of MathJax's come), unless the page was
  // scrolled since (by the reader, or by the preview after a change), which
  // makes that the place to keep. The browser's own scroll anchoring, which
  // keeps the first block in view instead, is off: the two would fight.
  var hold = null;
  function capture() {
    var ref = reference();
    hold = ref ? {ref: ref, top: ref.getBoundingClientRect().top, y: window.scrollY} : null;
  }
  // The page scrolls by whole pixels: the place kept is where it was meant
  // to stand, not where the last correction left it, lest the parts of a
  // pixel lost at each add up.
  function keep() {
    if (!hold || !hold.ref.isConnected || window.scrollY !== hold.y) {
      capture();
      return;
    }
    var moved = hold.ref.getBoundingClientRect().top - hold.top;
    if (Math.abs(moved) >= 0.5) window.scrollBy(0, moved);
    hold.y = window.scrollY;
  }

  // --- Slices ----------------------------------------------------------------

  // Whether setting the rest of the page while idle is cheap: the blocks
  // that wait at the pace of the last slices take no longer than the budget.
  function restIsCheap() {
    return waiting.size * pace <= IDLE_BUDGET_MS && idleSpent < 2 * IDLE_BUDGET_MS;
  }

  function schedule() {
    if (!ready || slice || soon) return;
    if (first.length || waitingNearView().length || (whole && waiting.size)) {
      if (idle) { cancelIdleCallback(idle); idle = 0; }
      if (later) { clearTimeout(later); later = 0; }
      soon = setTimeout(run, 0);
    } else if (waiting.size && !idle && !later && restIsCheap()) {
      var wait = lastChange + QUIET_MS - Date.now();
      if (wait > 0) later = setTimeout(function () { later = 0; schedule(); }, wait);
      else idle = requestIdleCallback(function () { idle = 0; run(); });
    }
  }

  function take() {
    var blocks = [], taken = new Set(), most = perSlice.view;
    function put(e) {
      if (blocks.length >= most && blocks.length) return false;
      if (taken.has(e)) return true;
      if (!e.isConnected) { waiting.delete(e); return true; }
      if (!waiting.has(e)) return true;
      taken.add(e);
      blocks.push(e);
      return true;
    }
    // A change's blocks all go, however many the slice would take.
    while (first.length) {
      var e = first.shift();
      if (e.isConnected && waiting.has(e) && !taken.has(e)) { taken.add(e); blocks.push(e); }
      else if (!e.isConnected) waiting.delete(e);
    }
    var near = waitingNearView();
    for (var i = 0; i < near.length && put(near[i]); i++) {}
    if (!blocks.length) {
      var kind = whole ? 'whole' : 'idle';
      most = perSlice[kind];
      var it = waiting.values();
      for (var n = it.next(); !n.done && put(n.value); n = it.next()) {}
      return {blocks: blocks, kind: kind};
    }
    return {blocks: blocks, kind: 'view'};
  }

  function run() {
    soon = 0;
    if (slice || !ready) return;
    var taken = take(), blocks = taken.blocks;
    if (!blocks.length || (taken.kind === 'idle' && (Date.now() - lastChange < QUIET_MS || !restIsCheap()))) {
      schedule();
      return;
    }
    blocks.forEach(function (e) { waiting.delete(e); });
    // Where the reader's place stands now: the preview may have scrolled
    // the page (a change put the caret's block at the caret's height) in
    // the same task as the blocks came, before the page told of its scroll.
    if (!hold || !hold.ref.isConnected || window.scrollY !== hold.y) capture();
    var current = slice = {blocks: blocks, kind: taken.kind, started: Date.now()};
    leaving.observe(document, {childList: true, subtree: true});
    var finished = false;
    function done() {
      if (finished) return;
      finished = true;
      clearTimeout(watch);
      if (slice !== current) return;
      keepLeaving(leaving.takeRecords());
      leaving.disconnect();
      slice = null;
      // The next slice of its kind as long as this one should have taken.
      var took = Date.now() - current.started, aim = AIM[current.kind];
      var per = perSlice[current.kind];
      if (took < aim / 2) per = Math.min(current.kind === 'whole' ? MOST_WHOLE_BLOCKS : MOST_BLOCKS, per * 2);
      else if (took > aim * 2) per = Math.max(1, per >> 1);
      perSlice[current.kind] = per;
      // The pace, mostly of the latest slices: the page's frames cost more
      // as it grows.
      var each = took / current.blocks.length;
      pace = pace ? 0.7 * pace + 0.3 * each : each;
      if (current.kind === 'idle') idleSpent += took;
      if (held) { held.remove(); held = null; }
      keep();
      schedule();
    }
    // MathJax may never answer for a slice that fails oddly: the page goes
    // on without it.
    var watch = setTimeout(done, GIVE_UP);
    try {
      HUB.Typeset(blocks, done);
    } catch (e) {
      done();
    }

  }

  // Blocks of the slice under way that a change takes out of the body go
  // on being set out of sight until the slice ends. Watched only while a
  // slice runs.
  function keepLeaving(records) {
    if (!slice) return;
    records.forEach(function (record) {
      for (var i = 0; i < record.removedNodes.length; i++) {
        var node = record.removedNodes[i];
        if (node.nodeType !== 1 || node.isConnected) continue;
        var ours = slice.blocks.some(function (b) { return node === b || node.contains(b); });
        if (!ours) continue;
        if (!held) {
          held = document.createElement('div');
          held.hidden = true;
          held.setAttribute('aria-hidden', 'true');
        }
        if (!held.isConnected) document.documentElement.appendChild(held);
        held.appendChild(node);
      }
    });
  }
  var leaving = new MutationObserver(keepLeaving);

  // The reader scrolled (to blocks that wait, which are set now), or the
  // preview put the page in place.
  window.addEventListener('scroll', function () {
    if (!hold || window.scrollY !== hold.y) capture();
    schedule();
  }, {passive: true});

  HUB.Register.StartupHook('End', function () {
    ready = true;
    document.documentElement.style.overflowAnchor = 'none';
    if (document.body) new ResizeObserver(keep).observe(document.body);
    schedule();
  });

  // The blocks still to set: those that left the page meanwhile no longer
  // count.
  function left() {
    prune();
    return waiting.size + (slice ? slice.blocks.length : 0);
  }

  window.orvaneTypesetter = {
    add: function (nodes, urgent) { add(Array.prototype.slice.call(nodes), !!urgent); },
    addAll: addAll,
    waiting: left,
    busy: function () { return !!(slice || soon || idle || later); },
    setAll: function (on) {
      whole = !!on;
      schedule();
      return left();
    }
  };
})();
