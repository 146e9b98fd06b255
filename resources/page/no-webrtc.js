// Takes WebRTC from the page's scripts, in every frame, before they run:
// its connections are the only ones that pass the page's policy and the
// guard (the engine has no way out for them either, but a page should not
// even try).
(function () {
  Object.getOwnPropertyNames(window).forEach(function (name) {
    if (!/^(webkit)?RTC/.test(name)) return;
    try { Object.defineProperty(window, name, {value: undefined, writable: false, configurable: false}); }
    catch (e) {}
  });
})();
