// What the preview makes of the HTML it is given, apart from any widget or
// page: its own head content put in place of the page's, where the body lies,
// the body cut into top-level blocks and compared with the page on screen,
// the scripts that change the page, and where a clicked link may go.
//
// Top-level blocks: the body's inner HTML is cut before each start tag that
// stands at nesting depth 0, so a block is one top-level element with the
// text that follows it (the first block may be text alone). The page keeps,
// for each block, the nodes it was parsed into, so that a change replaces
// only the blocks that differ. The cut follows the HTML rules that matter for
// depth (void elements, raw-text elements, comments, quoted attributes); where
// a browser would still nest differently the page notices and the whole body
// is replaced instead.
#pragma once

#include <QRectF>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace preview {

// --- Head content -----------------------------------------------------------

// Where the page loads MathJax 2.7 and highlight.js 9 from: the system's
// copies of Debian's libjs-mathjax and libjs-highlight.js, which the program
// serves to its pages (a page loads nothing from the network), and the
// program's own scripts around MathJax (resources/page). Without the
// packages, math and code show as they are written.
struct ScriptLocations {
    QString mathJaxConfig;    // MathJax's configuration, read as MathJax.js loads
    QString mathJax;          // MathJax.js
    QString typesetter;       // what hands MathJax the blocks to set, a few at a time
    QString highlightStyle;   // the default style sheet
    QString highlightScript;  // highlight.min.js

    static ScriptLocations local();
};

struct HeadOptions {
    std::optional<QString> styleSheet;  // the style sheet's text; none when no sheet is set
    double viewHeight = 0;              // the editor's visible height
    bool mathJax = false;
    bool syntaxHighlighting = false;
    ScriptLocations scripts;
};

// The head content, in order: the style sheet, the body margins (0.9 of the
// editor's height, so that the first and last block can be scrolled to any
// height of the view), MathJax (its configuration, MathJax itself and the
// typesetter), highlight.js.
QString headContent(const HeadOptions &options);

// A page of the preview's own that stands in for the document's: `words` in
// a paragraph, under the style sheet of `options` (nothing else of them).
QString notePage(const QString &words, const HeadOptions &options);

// `html` with its head content replaced by `head` (everything between the
// first "<head>" and the first "</head>" after it; just after "<head>" when
// that is missing). HTML without "<head>" gets a complete empty document put
// in front of it. `contentStart` receives where the given text begins in the
// result (after the inserted document, or 0).
QString applyHead(const QString &html, const QString &head, qsizetype *contentStart = nullptr);

// The range of the body's inner HTML: from just after the first "<body>" at
// or after `from` to the first "</body>" after that; none when either is
// missing.
struct TextRange {
    qsizetype start = 0;
    qsizetype length = 0;
};
std::optional<TextRange> bodyRange(QStringView html, qsizetype from = 0);

// Reads a style sheet: UTF-8, or the encoding its byte-order mark names, else
// Latin-1. None when the file cannot be read.
std::optional<QString> readStyleSheet(const QString &path);

// The margin the head content gives the body above and below: the editor's
// height × 0.9 (single precision), truncated.
int bodyMargin(double viewHeight);

// --- Long runs of text -------------------------------------------------------

// `html` with a "<wbr>" put in each run of text of kLongText units or more
// (between two tags), about every kBreakSpacing units, each where a line
// may break anyway (an opportunity the Unicode line breaking rules give),
// so that the page lays the run out in pieces: the engine shapes a run in
// one font as a whole, in a time that grows with the square of the glyphs
// it had to find in other fonts (a paragraph of 2 MB of emoji took it 16 s
// with a colour emoji font, minutes without). Where a break goes is decided
// by the text before it (its rolling hash), so that an edit moves only the
// breaks near it, but for a stretch of kLongestUnbroken units without such
// a place (text that repeats with a short period), which gets one at its
// end. Raw-text elements, comments, tags and character references are left
// alone. `html` itself when it has no long run. `offsets` (increasing), when
// given, are moved with the text they stand before: each past the breaks put
// before it.
QString withBreaksInLongText(const QString &html, std::vector<qsizetype> *offsets = nullptr);
inline constexpr qsizetype kLongText = 16 * 1024;
inline constexpr qsizetype kBreakSpacing = 2048;
inline constexpr qsizetype kLongestUnbroken = 16 * 1024;

// --- Top-level blocks ---------------------------------------------------------

class BodyBlocks {
public:
    BodyBlocks() = default;
    explicit BodyBlocks(QString body);
    // The blocks of `text` that begin at `starts` (increasing) and end at
    // `end`: the body of a page, cut in place, the page's text shared.
    BodyBlocks(QString text, std::vector<qsizetype> starts, qsizetype end);

    const QString &text() const { return m_text; }
    // Where the last block ends in text().
    qsizetype end() const { return m_end; }
    qsizetype count() const { return qsizetype(m_starts.size()); }
    QStringView block(qsizetype i) const;
    // Blocks first .. first + count − 1, with a marker comment between
    // neighbours, for the page to find where each block's nodes begin.
    QString joinedWithMarkers(qsizetype first, qsizetype count) const;
    QString joinedWithMarkers() const { return joinedWithMarkers(0, count()); }

private:
    QString m_text;
    std::vector<qsizetype> m_starts;
    qsizetype m_end = 0;
};

// Where each top-level block of `body` begins (always 0 first; none for an
// empty body).
std::vector<qsizetype> topLevelBlockStarts(QStringView body);

// The blocks that differ between two bodies: the first `prefix` blocks and
// the last (count − prefix − removed) blocks agree, `removed` old blocks give
// way to `inserted` new ones.
struct BlockChange {
    qsizetype prefix = 0;
    qsizetype removed = 0;
    qsizetype inserted = 0;
    bool none() const { return removed == 0 && inserted == 0; }
};
BlockChange compareBlocks(const BodyBlocks &before, const BodyBlocks &after);

// One run of changed blocks: `removed` old blocks from `before` give way to
// `inserted` new blocks from `after`.
struct BlockHunk {
    qsizetype before = 0;
    qsizetype removed = 0;
    qsizetype after = 0;
    qsizetype inserted = 0;
    bool operator==(const BlockHunk &) const = default;
};
// The runs of blocks that differ, in order: inside the range compareBlocks
// finds, the blocks that agree between two changes (an edit and the scroll
// anchor moved far from it) are kept. Two runs are told apart when they are
// at most kHunkSearch blocks long; what is left after a longer one is one
// run.
inline constexpr qsizetype kHunkSearch = 16;
std::vector<BlockHunk> blockHunks(const BodyBlocks &before, const BodyBlocks &after);

// The longest body (in UTF-16 units) sent to the page as one script string.
// Replacing a whole body by script keeps the script's text, the string made
// of it and the new nodes alive next to the old body; at tens of megabytes
// the page's process runs out of memory. A longer body that has to go in
// whole loads the page afresh instead (see PreviewController).
inline constexpr qsizetype kBodyScriptLimit = 1 << 20;

// The comment that stands between blocks while the page maps them.
inline constexpr QStringView BlockMarker = u"orvane-block";

// --- Page scripts --------------------------------------------------------------
// The block scripts keep the page's map of blocks in the world they run in.
// A page without MathJax or highlight.js runs them in the application's
// world, where the page's own scripts cannot reach the map. A page with them
// runs them in its own world: there the new blocks are coloured as they go
// in and handed to the page's typesetter (resources/page/typesetter.js),
// which sets a change's blocks first, then those in or near the view, the
// rest while the page idles only when that is cheap (else as the view comes
// near), and all of it while the whole page is asked for. A change goes in
// at once, whatever MathJax is setting.
//
// `then` is script text run right after a change went in (the page's
// position), whose failure changes nothing.

// Replaces the whole body and maps its blocks. Answers 2 when mapped, 1 when
// the body was replaced but could not be mapped, 0 without a body.
QString replaceBodyScript(const BodyBlocks &body, bool typesetting, const QString &then = QString());
// The helpers every script that changes the page's blocks starts with
// (resources/page/page-blocks.js), made once; the scripts of a page in
// parts start with them too.
const QString &blockHelpers();
// Replaces the changed blocks; answers false, changing nothing, when the page
// is not the one `before` describes (a block's node has left the body), or
// when the new blocks would read otherwise apart from the page than in it (a
// <noscript>, text in the page, which runs scripts).
QString patchBlocksScript(const BodyBlocks &before, const BodyBlocks &after, const BlockChange &change,
                          bool typesetting, const QString &then = QString());
// The same for several runs at once (each as one change), made in one go.
QString patchHunksScript(const BodyBlocks &before, const BodyBlocks &after, const std::vector<BlockHunk> &hunks,
                         bool typesetting, const QString &then = QString());
// Maps the blocks of a freshly loaded page (whose body holds the markers):
// true when every marker was a child of the body.
QString mapBlocksScript(qsizetype expectedCount);
// After a load: the typesetter (MathJax, once it is ready) and highlight.js
// over a body that was put in after they set the page.
QString typesetBodyScript();
// Has the page's typesetter set every formula from now on (`all`), or go
// back to setting only what is near the view; answers how many blocks of
// math wait to be set (0 on a page without the typesetter).
QString setAllMathScript(bool all);
// Puts the block under the caret ("TZRHTMLSCROLLPOINT") at `offset` pixels
// below the top of the view, or as near as the page can scroll.
QString scrollToAnchorScript(int offset);
QString scrollToScript(double x, double y);
// Gives the body of a page the preview made the margins of `viewHeight` in
// place; answers false when the page has no margins of the preview's.
QString fitMarginsScript(double viewHeight);
// The page's geometry as JSON text (see PageGeometry).
QString geometryScript();

// --- Geometry ---------------------------------------------------------------------

// The page as the scroll synchroniser sees it, in CSS pixels of the page.
struct PageGeometry {
    struct Node {
        QString name;  // "P", "H1", "#comment", ...
        double top = 0;
        double height = 0;
    };
    double documentHeight = 0;  // the whole page, scrolled or not
    double viewHeight = 0;      // the visible part
    double scrollY = 0;
    QRectF body;                // the body's bounding box
    std::vector<Node> children; // the body's child nodes but text

    // The position of fraction p of the body, as a fraction of the page; NaN
    // when the page has no height yet.
    double contentPercentToTotalPercent(double p) const {
        if (!(documentHeight > 0))
            return std::numeric_limits<double>::quiet_NaN();
        return (p * body.height() + body.top()) / documentHeight;
    }
    bool usable() const { return documentHeight > 0 && body.height() >= 0; }
};
std::optional<PageGeometry> parseGeometry(const QString &json);

// --- Links -------------------------------------------------------------------------

// What a navigation that the page asked for does: follow it in the page (a
// fragment of the page itself), stay (the page itself again), or leave the
// preview for the user's other applications.
enum class LinkDecision { Follow, Stay, OpenOutside };
LinkDecision decideLink(const QUrl &previewUrl, const QUrl &requested);

// The base of a page without a file: "orvane.html" in the temporary folder.
QUrl untitledPreviewUrl();

}  // namespace preview
