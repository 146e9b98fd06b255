// Notes, for each click of the user's (with the main or the middle button),
// the URL of the link under it and its href as the link has it then. It runs
// in the application's world: the page's scripts can neither see nor change
// it, and the clicks they make themselves are not trusted events. A click
// whose default the page prevented opens nothing and lets nothing leave: its
// note would serve only the page's own later navigation.
(function () {
  'use strict';
  var last = null;

  function linkOf(e) {
    var node = e.target;
    if (node && node.nodeType !== 1) node = node.parentElement;
    return node && node.closest ? node.closest('a[href], area[href]') : null;
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
    last = {href: href, raw: raw, at: performance.now(), event: e};
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

  window.addEventListener('click', note, true);
  window.addEventListener('auxclick', note, true);
  // The note of a click on a link to `wanted`, once: the link's URL, the
  // click's age, its href, and whether that href leads to `wanted` from
  // `page` (the page's address as the program made it, which the page's
  // scripts may have changed since); null when the last click was not on
  // such a link.
  window.orvaneTakeClick = function (wanted, page) {
    if (last && last.event.defaultPrevented) last = null;
    if (last === null || !sameAddress(wanted, last.href)) return null;
    var taken = last;
    last = null;
    var resolved = null;
    try { resolved = new URL(taken.raw, page).href; } catch (e) {}
    return [taken.href, performance.now() - taken.at, taken.raw, resolved !== null && sameAddress(resolved, wanted)];
  };
})();
