// MathJax 2.7 as the preview sets math with it, read by MathJax.js when it
// loads (this file comes first). MathJax typesets nothing by itself: the
// typesetter (typesetter.js) hands it the blocks to set, the changed ones
// and those in view first, the rest a little at a time while the page idles.
//
// - The CommonHTML output: the fastest of MathJax's three at setting a page
//   of math (bench/window/math_preview_bench.cpp; the README has the
//   figures).
// - TeX (with the AMS environments and symbols) and MathML input, as the
//   combined configuration the preview used before had them; no fast preview
//   (it sets each formula twice) and no hidden MathML copy for screen readers
//   (it doubles the page's math nodes); the menu and zoom stay.
// - No message box: "Processing math" would cover the page while the user
//   types.
// - No pause between the phases of a typesetting (50 ms twice by default),
//   which every small slice of the typesetter would wait through.
window.MathJax = {
  jax: ['input/TeX', 'input/MathML', 'output/CommonHTML'],
  extensions: ['tex2jax.js', 'mml2jax.js', 'MathMenu.js', 'MathZoom.js'],
  TeX: {extensions: ['AMSmath.js', 'AMSsymbols.js', 'noErrors.js', 'noUndefined.js']},
  skipStartupTypeset: true,
  messageStyle: 'none',
  showProcessingMessages: false,
  AuthorInit: function () { MathJax.Hub.processSectionDelay = 0; },
  menuSettings: {CHTMLpreview: false, assistiveMML: false}
};
