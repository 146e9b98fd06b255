// Gives the page's body the margins of the editor's new height, in place:
// the rule the program put in the page's head is rewritten, and the page
// keeps its text, its scripts and its place (loading a long page afresh
// takes seconds, the view blank meanwhile). The rule's shape is the one the
// program writes in every page it makes. Called with the margin in pixels;
// answers false when the page has no such rule (it is then loaded afresh).
(function (margin) {
  var shape = /^@media screen\{body \{margin-top: \d+px; margin-bottom: \d+px;\}\}$/;
  var styles = document.head ? document.head.getElementsByTagName('style') : [];
  for (var i = 0; i < styles.length; i++) {
    if (shape.test(styles[i].textContent)) {
      styles[i].textContent =
        '@media screen{body {margin-top: ' + margin + 'px; margin-bottom: ' + margin + 'px;}}';
      return true;
    }
  }
  return false;
})
