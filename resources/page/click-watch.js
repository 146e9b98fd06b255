// Notes, for each click of the user's (with the main or the middle button),
// the URL of the link under it. It runs in the application's world: the
// page's scripts can neither see nor change it, and the clicks they make
// themselves are not trusted events. A click whose default the page
// prevented opens nothing and lets nothing leave: its note would serve only
// the page's own later navigation.
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
    var href = link.href;
    if (typeof href !== 'string') href = new URL(link.getAttribute('href'), document.baseURI).href;
    last = {href: href, at: performance.now(), event: e};
  }
  window.addEventListener('click', note, true);
  window.addEventListener('auxclick', note, true);
  window.orvaneTakeClick = function (wanted) {
    if (last && last.event.defaultPrevented) last = null;
    var same = false;
    try { same = last !== null && new URL(wanted).href === last.href; } catch (e) {}
    if (!same) return null;
    var taken = last;
    last = null;
    return [taken.href, performance.now() - taken.at];
  };
})();
