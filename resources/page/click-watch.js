// Notes, for each click of the user's (with the main or the middle button),
// the URL of the link under it and its href as the link has it then. It runs
// in the application's world: the page's scripts can neither see nor change
// it, and the clicks they make themselves are not trusted events. A click
// whose default the page prevented opens nothing and lets nothing leave: its
// note would serve only the page's own later navigation.
(function () {
  var last = null;
  function note(e) {
    if (!e.isTrusted) return;
    last = null;
    if (e.button !== 0 && e.button !== 1) return;
    var node = e.target;
    if (node && node.nodeType !== 1) node = node.parentElement;
    var link = node && node.closest ? node.closest('a[href], area[href]') : null;
    if (!link) return;
    var raw = link.getAttribute('href');
    var href = link.href;
    if (typeof href !== 'string') href = new URL(raw, document.baseURI).href;
    last = {href: href, raw: raw, at: performance.now(), event: e};
  }
  window.addEventListener('click', note, true);
  window.addEventListener('auxclick', note, true);
  // The note of a click on a link to `wanted`, once: the link's URL, the
  // click's age, its href, and that href resolved against `page` (the page's
  // address as the program made it, which the page's scripts may have
  // changed since); null when the last click was not on such a link.
  window.orvaneTakeClick = function (wanted, page) {
    if (last && last.event.defaultPrevented) last = null;
    var same = false;
    try { same = last !== null && new URL(wanted).href === last.href; } catch (e) {}
    if (!same) return null;
    var taken = last;
    last = null;
    var resolved = null;
    try { resolved = new URL(taken.raw, page).href; } catch (e) {}
    return [taken.href, performance.now() - taken.at, taken.raw, resolved];
  };
})();
