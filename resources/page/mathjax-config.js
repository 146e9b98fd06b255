// MathJax 2.7 as the preview sets math with it, read by MathJax.js when it
// loads (this file comes first). MathJax typesets nothing by itself: the
// typesetter (typesetter.js) hands it the blocks to set, the changed ones
// and those in or near the view first, the rest a little at a time while the
// page idles when that is cheap, or as the view comes near it.
//
// - The CommonHTML output: of MathJax's three the fastest at setting one
//   block at a time, as the typesetter does (a paragraph of math in a
//   median of 28-35 ms, HTML-CSS 37-44 ms, SVG 47-50 ms), and faster than
//   HTML-CSS at a whole page (bench/window/math_preview_bench.cpp; the
//   README has the figures). SVG sets a whole page faster still, but keeps
//   the glyphs every formula uses in the body, which the preview may
//   replace whole: the math set after that would lose them.
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
