#include "window/preview/preview_page.h"

#include "platform/web/page_scripts.h"

#include "platform/web/html_tags.h"
#include "platform/web/page_scheme.h"
#include "platform/web/web_view.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringConverter>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <limits>

namespace preview {

// --- Head content -----------------------------------------------------------

ScriptLocations ScriptLocations::local() {
    using platform::PageScheme;
    return {PageScheme::programUrl(QStringLiteral("mathjax-config.js")).toString(),
            PageScheme::scriptUrl(QStringLiteral("mathjax/MathJax.js")).toString(),
            PageScheme::programUrl(QStringLiteral("typesetter.js")).toString(),
            PageScheme::scriptUrl(QStringLiteral("highlight.js/styles/default.css")).toString(),
            PageScheme::scriptUrl(QStringLiteral("highlight.js/highlight.min.js")).toString()};
}

int bodyMargin(double viewHeight) {
    const double margin = double(float(viewHeight)) * double(0.9f);
    if (!std::isfinite(margin) || margin <= 0)
        return 0;
    return margin >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(margin);
}

QString headContent(const HeadOptions &options) {
    // The style sheet is style only: whatever it holds, it cannot close its
    // element. The addresses are attribute values.
    QString head;
    if (options.styleSheet)
        head += QStringLiteral("<style type=\"text/css\">%1</style>\n")
                    .arg(platform::styleElementText(*options.styleSheet));
    const int margin = bodyMargin(options.viewHeight);
    head += QStringLiteral("<style type=\"text/css\">@media screen{body {margin-top: %1px; margin-bottom: %2px;}}</style>")
                .arg(margin)
                .arg(margin);
    if (options.mathJax)
        for (const QString *script :
             {&options.scripts.mathJaxConfig, &options.scripts.mathJax, &options.scripts.typesetter})
            head += QStringLiteral("<script type=\"text/javascript\" src=\"%1\"></script>\n")
                        .arg(script->toHtmlEscaped());
    if (options.syntaxHighlighting) {
        head += QStringLiteral("<link rel=\"stylesheet\" href=\"%1\">\n")
                    .arg(options.scripts.highlightStyle.toHtmlEscaped());
        head += QStringLiteral("<script type=\"text/javascript\" src=\"%1\"></script>\n")
                    .arg(options.scripts.highlightScript.toHtmlEscaped());
        head += QStringLiteral("<script>hljs.initHighlightingOnLoad();</script>\n");
    }
    return head;
}

QString notePage(const QString &words, const HeadOptions &options) {
    HeadOptions head;
    head.styleSheet = options.styleSheet;
    return applyHead(QStringLiteral("<!DOCTYPE html>\n<html>\n<head></head>\n<body>\n<p class=\"orvane-note\">") +
                         words.toHtmlEscaped() + QStringLiteral("</p>\n</body>\n</html>\n"),
                     headContent(head));
}

QString applyHead(const QString &html, const QString &head, qsizetype *contentStart) {
    const qsizetype open = html.indexOf(QLatin1String("<head>"));
    if (open < 0) {
        QString page = QStringLiteral(
                           "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n"
                           "<head>\n%1\n</head>\n<body></body>\n</html>\n")
                           .arg(head);
        if (contentStart)
            *contentStart = page.size();
        page += html;
        return page;
    }
    if (contentStart)
        *contentStart = 0;
    const qsizetype inner = open + 6;
    const qsizetype close = html.indexOf(QLatin1String("</head>"), inner);
    QString page;
    page.reserve(html.size() + head.size());
    page += QStringView(html).left(inner);
    page += head;
    page += QStringView(html).mid(close < 0 ? inner : close);
    return page;
}

std::optional<TextRange> bodyRange(QStringView html, qsizetype from) {
    const qsizetype open = html.indexOf(u"<body>", std::max<qsizetype>(from, 0));
    if (open < 0)
        return std::nullopt;
    const qsizetype start = open + 6;
    const qsizetype close = html.indexOf(u"</body>", start);
    if (close < 0)
        return std::nullopt;
    return TextRange{start, close - start};
}

std::optional<QString> readStyleSheet(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (auto named = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*named);
        return QString(decoder(bytes));
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

// --- Long runs of text -------------------------------------------------------

namespace {

// The text before a place that decides whether a break may go there.
constexpr qsizetype kHashedUnits = 16;
// How far past a chosen place a line break opportunity is looked for, and
// how much text before it is read with it (the rules look back).
constexpr qsizetype kBreakReach = 256;
constexpr qsizetype kBreakContext = 32;
// The fewest units between two breaks.
constexpr qsizetype kShortestUnbroken = kBreakSpacing / 4;

// Whether `at` in `html` lies inside a character reference ("&amp;",
// "&#x1F600;"): an "&" before it with nothing but a name or number between.
bool insideReference(QStringView html, qsizetype from, qsizetype at) {
    for (qsizetype i = at - 1; i >= from && i >= at - 32; i--) {
        const QChar c = html[i];
        if (c == u'&')
            return true;
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'#')
            return false;
    }
    return false;
}

// The first line break opportunity at or after `at` (and before `at` +
// kBreakReach) in the run [from, to), or -1.
qsizetype breakAtOrAfter(QStringView html, qsizetype from, qsizetype to, qsizetype at) {
    const qsizetype start = qMax(from, at - kBreakContext);
    const qsizetype end = qMin(to, at + kBreakReach + kBreakContext);
    const QStringView window = html.mid(start, end - start);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, window.data(), window.size());
    finder.setPosition(int(at - start));
    if (!finder.isAtBoundary() || !(finder.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity))
        finder.toNextBoundary();
    for (; finder.position() >= 0; finder.toNextBoundary()) {
        const qsizetype place = start + finder.position();
        // Too near the window's end to be sure of, or at the run's end.
        if (place >= qMin(to, at + kBreakReach) || place >= end - kBreakContext / 2)
            return -1;
        if ((finder.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity) && place > from &&
            !insideReference(html, from, place))
            return place;
    }
    return -1;
}

// Where breaks go in the run of text [from, to) of `html`, appended to
// `places`.
void breaksInRun(QStringView html, qsizetype from, qsizetype to, std::vector<qsizetype> &places) {
    quint32 hash = 0;
    quint32 dropped = 1;  // the weight of the unit that leaves the hash
    for (qsizetype k = 0; k < kHashedUnits; k++)
        dropped *= 31;
    qsizetype last = from;
    for (qsizetype i = from; i < to; i++) {
        hash = hash * 31 + html[i].unicode();
        if (i - kHashedUnits >= from)
            hash -= dropped * html[i - kHashedUnits].unicode();
        const qsizetype at = i + 1;
        if (at - last < kShortestUnbroken || to - at < kShortestUnbroken)
            continue;
        const bool chosen = ((hash ^ (hash >> 15)) * 0x2c1b3c6dU) % quint32(kBreakSpacing) == 0;
        if (!chosen && at - last < kLongestUnbroken)
            continue;
        qsizetype place = breakAtOrAfter(html, from, to, at);
        if (place >= 0) {
            places.push_back(place);
            last = place;
        } else {
            // No line may break here (a word longer than the reach): the
            // search goes on past it.
            place = qMin(to, at + kBreakReach);
        }
        i = place - 1;
        // The hash goes on from the text before `place`.
        hash = 0;
        for (qsizetype k = qMax(from, place - kHashedUnits); k < place; k++)
            hash = hash * 31 + html[k].unicode();
    }
}

}  // namespace

QString withBreaksInLongText(const QString &html, std::vector<qsizetype> *offsets) {
    const QStringView text(html);
    std::vector<qsizetype> places;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype lt = text.indexOf(u'<', i);
        if (lt < 0)
            lt = text.size();
        if (lt - i >= kLongText)
            breaksInRun(text, i, lt, places);
        if (lt >= text.size())
            break;
        if (text.mid(lt).startsWith(u"<!--")) {
            const qsizetype close = text.indexOf(u"-->", lt + 4);
            i = close < 0 ? text.size() : close + 3;
            continue;
        }
        const qsizetype nameStart = lt + 1 < text.size() && text[lt + 1] == u'/' ? lt + 2 : lt + 1;
        if (nameStart >= text.size() || !platform::isAsciiLetter(text[nameStart])) {
            // Not a tag ("<" as text, "<!DOCTYPE", "<?"): up to its ">".
            const qsizetype end = platform::htmlTagEnd(text, lt + 1);
            i = end < 0 ? text.size() : end;
            continue;
        }
        const qsizetype nameEnd = platform::htmlNameEnd(text, nameStart);
        const qsizetype end = platform::htmlTagEnd(text, nameEnd);
        if (end < 0)
            break;
        const QStringView name = text.mid(nameStart, nameEnd - nameStart);
        i = nameStart == lt + 1 && platform::isRawTextElement(name) ? platform::rawTextEnd(text, name, end) : end;
    }
    if (places.empty())
        return html;
    static const QString Break = QStringLiteral("<wbr>");
    if (offsets) {
        // A break where an offset stands goes before it, with the text it
        // follows.
        auto place = places.begin();
        for (qsizetype &offset : *offsets) {
            while (place != places.end() && *place <= offset)
                ++place;
            offset += qsizetype(place - places.begin()) * Break.size();
        }
    }
    QString out;
    out.reserve(html.size() + qsizetype(places.size()) * Break.size());
    qsizetype from = 0;
    for (qsizetype place : places) {
        out += text.mid(from, place - from);
        out += Break;
        from = place;
    }
    out += text.mid(from);
    return out;
}

// --- Top-level blocks ---------------------------------------------------------

namespace {

using platform::htmlNameEnd;
using platform::isAsciiLetter;
using platform::isRawTextElement;
using platform::isVoidElement;
using platform::rawTextEnd;

// Just past the ">" that ends the tag whose name ends at `at`; the end of the
// text when it is never closed.
qsizetype tagEnd(QStringView s, qsizetype at) {
    const qsizetype end = platform::htmlTagEnd(s, at);
    return end < 0 ? s.size() : end;
}

}  // namespace

std::vector<qsizetype> topLevelBlockStarts(QStringView s) {
    std::vector<qsizetype> starts;
    if (s.isEmpty())
        return starts;
    starts.push_back(0);
    std::vector<QStringView> open;  // names of the elements open at this point
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype at = s.indexOf(u'<', i);
        if (at < 0 || at + 1 >= s.size())
            break;
        const QChar next = s[at + 1];
        if (s.mid(at + 1, 3) == u"!--") {
            const qsizetype end = s.indexOf(u"-->", at + 4);
            i = end < 0 ? s.size() : end + 3;
        } else if (next == u'!' || next == u'?') {
            i = tagEnd(s, at + 2);
        } else if (next == u'/') {
            const qsizetype end = htmlNameEnd(s, at + 2);
            const QStringView name = s.mid(at + 2, end - at - 2);
            i = tagEnd(s, end);
            // An end tag closes the innermost open element of its name and
            // every element inside it; one that matches nothing is ignored.
            for (qsizetype k = qsizetype(open.size()) - 1; k >= 0; k--) {
                if (open[k].compare(name, Qt::CaseInsensitive) == 0) {
                    open.resize(k);
                    break;
                }
            }
        } else if (isAsciiLetter(next)) {
            const qsizetype end = htmlNameEnd(s, at + 1);
            const QStringView name = s.mid(at + 1, end - at - 1);
            if (open.empty() && at > 0 && starts.back() != at)
                starts.push_back(at);
            i = tagEnd(s, end);
            if (isRawTextElement(name)) {
                i = rawTextEnd(s, name, i);
            } else if (!isVoidElement(name)) {
                open.push_back(name);
            }
        } else {
            i = at + 1;  // a "<" that starts no tag is text
        }
    }
    return starts;
}

BodyBlocks::BodyBlocks(QString body)
    : m_text(std::move(body)), m_starts(topLevelBlockStarts(m_text)), m_end(m_text.size()) {}

BodyBlocks::BodyBlocks(QString text, std::vector<qsizetype> starts, qsizetype end)
    : m_text(std::move(text)), m_starts(std::move(starts)), m_end(end) {}

QStringView BodyBlocks::block(qsizetype i) const {
    const qsizetype start = m_starts[size_t(i)];
    const qsizetype end = size_t(i + 1) < m_starts.size() ? m_starts[size_t(i + 1)] : m_end;
    return QStringView(m_text).mid(start, end - start);
}

QString BodyBlocks::joinedWithMarkers(qsizetype first, qsizetype count) const {
    QString joined;
    if (count <= 0)
        return joined;
    const QString marker = QStringLiteral("<!--") + BlockMarker.toString() + QStringLiteral("-->");
    const qsizetype start = m_starts[size_t(first)];
    const qsizetype end = size_t(first + count) < m_starts.size() ? m_starts[size_t(first + count)] : m_text.size();
    joined.reserve(end - start + (count - 1) * marker.size());
    for (qsizetype i = first; i < first + count; i++) {
        if (i > first)
            joined += marker;
        joined += block(i);
    }
    return joined;
}

BlockChange compareBlocks(const BodyBlocks &before, const BodyBlocks &after) {
    const qsizetype common = std::min(before.count(), after.count());
    qsizetype prefix = 0;
    while (prefix < common && before.block(prefix) == after.block(prefix))
        prefix++;
    qsizetype suffix = 0;
    while (suffix < common - prefix &&
           before.block(before.count() - 1 - suffix) == after.block(after.count() - 1 - suffix))
        suffix++;
    return {prefix, before.count() - prefix - suffix, after.count() - prefix - suffix};
}

std::vector<BlockHunk> blockHunks(const BodyBlocks &before, const BodyBlocks &after) {
    const BlockChange change = compareBlocks(before, after);
    std::vector<BlockHunk> hunks;
    if (change.none())
        return hunks;
    qsizetype i = change.prefix, j = change.prefix;
    const qsizetype endI = change.prefix + change.removed, endJ = change.prefix + change.inserted;
    auto same = [&](qsizetype a, qsizetype b) { return before.block(a) == after.block(b); };
    while (i < endI && j < endJ) {
        if (same(i, j)) {
            i++;
            j++;
            continue;
        }
        // The nearest pair of blocks that agree again, by blocks skipped.
        qsizetype skipI = -1, skipJ = -1;
        for (qsizetype d = 1; d <= 2 * kHunkSearch && skipI < 0; d++)
            for (qsizetype a = qMax<qsizetype>(0, d - kHunkSearch); a <= qMin(d, kHunkSearch) && skipI < 0; a++) {
                const qsizetype b = d - a;
                if (i + a < endI && j + b < endJ && same(i + a, j + b)) {
                    skipI = a;
                    skipJ = b;
                }
            }
        if (skipI < 0)
            break;
        hunks.push_back({i, skipI, j, skipJ});
        i += skipI;
        j += skipJ;
    }
    if (i < endI || j < endJ)
        hunks.push_back({i, endI - i, j, endJ - j});
    return hunks;
}

// --- Page scripts --------------------------------------------------------------

namespace {


}  // namespace

const QString &blockHelpers() {
    static const QString text = [] {
        QString made = platform::pageResource(u"page-blocks.js");
        made.replace(QLatin1String("MARKER"), platform::WebView::stringLiteral(BlockMarker));
        return made;
    }();
    return text;
}

namespace {

// A block script: `change` is the body of a function that changes the page
// and answers; the helpers and `then` come around it.
QString blockScript(const QString &change, bool typesetting, const QString &then) {
    QString script = QStringLiteral("(function () {") + blockHelpers();
    script += QStringLiteral("var typesetting = ") + (typesetting ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral(";\n");
    script += QStringLiteral("var then = function () { try {") + then + QStringLiteral("} catch (e) {} };\n");
    script += change + QStringLiteral("\n})()");
    return script;
}

// `text` with %1 .. %9 replaced by `values` in one pass, so that a value that
// itself holds "%2" stays as it is.
QString fill(QStringView text, std::initializer_list<QString> values) {
    const std::vector<QString> list(values);
    QString out;
    out.reserve(text.size() + 64);
    for (qsizetype i = 0; i < text.size(); i++) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
            const size_t index = size_t(text[i + 1].unicode() - u'1');
            if (index < list.size()) {
                out += list[index];
                i++;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

QString number(qsizetype value) {
    return QString::number(value);
}

}  // namespace

QString replaceBodyScript(const BodyBlocks &body, bool typesetting, const QString &then) {
    return blockScript(fill(uR"js(
var body = document.body;
if (!body) return 0;
body.innerHTML = %1;
var groups = split(body, %2);
window.orvaneBlocks = groups;
if (typesetting) typesetNew(groups || [Array.prototype.slice.call(body.childNodes)], false);
then();
return groups ? 2 : 1;
)js",
                                 {platform::WebView::stringLiteral(body.joinedWithMarkers()), number(body.count())}),
                       typesetting, then);
}

QString mapBlocksScript(qsizetype expectedCount) {
    return blockScript(fill(uR"js(
var body = document.body;
window.orvaneBlocks = body ? split(body, %1) : null;
return !!window.orvaneBlocks;
)js",
                                 {number(expectedCount)}),
                       false, QString());
}

QString patchBlocksScript(const BodyBlocks &before, const BodyBlocks &after, const BlockChange &change,
                          bool typesetting, const QString &then) {
    return patchHunksScript(before, after, {BlockHunk{change.prefix, change.removed, change.prefix, change.inserted}},
                            typesetting, then);
}

QString patchHunksScript(const BodyBlocks &before, const BodyBlocks &after, const std::vector<BlockHunk> &hunks,
                         bool typesetting, const QString &then) {
    // Last run first: the block numbers of the runs before it stay good.
    QString list = QStringLiteral("[");
    for (auto it = hunks.rbegin(); it != hunks.rend(); ++it) {
        if (it != hunks.rbegin())
            list += u',';
        list += QStringLiteral("[%1,%2,%3,").arg(it->before).arg(it->removed).arg(it->inserted);
        list += platform::WebView::stringLiteral(after.joinedWithMarkers(it->after, it->inserted));
        list += u']';
    }
    list += u']';
    return blockScript(fill(uR"js(
if (!replaceRuns(%1, %2, typesetting)) return false;
then();
return true;
)js",
                            {list, number(before.count())}),
                       typesetting, then);
}

QString setAllMathScript(bool all) {
    return QStringLiteral("(function () { var t = window.orvaneTypesetter;"
                          " return t && t.setAll ? t.setAll(%1) : 0; })()")
        .arg(all ? QStringLiteral("true") : QStringLiteral("false"));
}

QString typesetBodyScript() {
    return QStringLiteral(R"js((function () {
var body = document.body;
if (!body) return false;
if (window.orvaneTypesetter) window.orvaneTypesetter.addAll();
if (window.hljs)
  Array.prototype.forEach.call(body.querySelectorAll('pre code'), function (b) {
    if (!b.classList.contains('hljs')) window.hljs.highlightBlock(b);
  });
return true;
})())js");
}

QString scrollToAnchorScript(int offset) {
    // One scroll by the anchor's distance from where it belongs: bringing it
    // to the top first would stop short near the end of the page (the bottom
    // margin is the editor's height, not the preview's), and the step back
    // from there would leave the last blocks too low.
    return QStringLiteral(
               "var target = document.getElementById(\"TZRHTMLSCROLLPOINT\");"
               "window.scrollBy(0,target.getBoundingClientRect().top-(%1))")
        .arg(offset);
}

QString scrollToScript(double x, double y) {
    return QStringLiteral("window.scrollTo(%1, %2)").arg(x).arg(y);
}

QString fitMarginsScript(double viewHeight) {
    return platform::pageResource(u"fit-margins.js") + QStringLiteral("(%1)").arg(bodyMargin(viewHeight));
}

QString geometryScript() {
    return QStringLiteral(R"js((function () {
var body = document.body;
if (!body) return null;
var y = window.scrollY, box = body.getBoundingClientRect(), nodes = [];
// A page in parts: the nodes of the filled parts, and each empty part as
// one node that names it.
function add(parent) {
  for (var n = parent.firstChild, k = 0; n; n = n.nextSibling) {
    if (n.nodeType === 3) continue;
    if (n.nodeType !== 1) { nodes.push([n.nodeName, 0, 0]); continue; }
    var r = n.getBoundingClientRect();
    if (parent === body && n.classList.contains('orvane-part')) {
      if (n.classList.contains('orvane-rest')) nodes.push(['#orvane-rest:' + k, r.top + y, r.height]);
      else add(n);
      k++;
      continue;
    }
    nodes.push([n.nodeName, r.top + y, r.height]);
  }
}
add(body);
return JSON.stringify({documentHeight: document.documentElement.scrollHeight, viewHeight: window.innerHeight,
  scrollY: y, body: [box.left + window.scrollX, box.top + y, box.width, box.height], nodes: nodes});
})())js");
}

// --- Geometry ---------------------------------------------------------------------

std::optional<PageGeometry> parseGeometry(const QString &json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    PageGeometry geometry;
    geometry.documentHeight = object.value(QLatin1String("documentHeight")).toDouble();
    geometry.viewHeight = object.value(QLatin1String("viewHeight")).toDouble();
    geometry.scrollY = object.value(QLatin1String("scrollY")).toDouble();
    const QJsonArray body = object.value(QLatin1String("body")).toArray();
    if (body.size() == 4)
        geometry.body = QRectF(body[0].toDouble(), body[1].toDouble(), body[2].toDouble(), body[3].toDouble());
    const QJsonArray nodes = object.value(QLatin1String("nodes")).toArray();
    geometry.children.reserve(size_t(nodes.size()));
    for (const QJsonValue &value : nodes) {
        const QJsonArray node = value.toArray();
        if (node.size() != 3)
            return std::nullopt;
        geometry.children.push_back({node[0].toString(), node[1].toDouble(), node[2].toDouble()});
    }
    return geometry;
}

// --- Links -------------------------------------------------------------------------

namespace {

QUrl withoutLocalhost(const QUrl &url) {
    QString text = url.toString(QUrl::FullyEncoded);
    text.replace(QLatin1String("file://localhost/"), QLatin1String("file:///"));
    return QUrl(text, QUrl::StrictMode);
}

}  // namespace

LinkDecision decideLink(const QUrl &previewUrl, const QUrl &requested) {
    const QUrl page = withoutLocalhost(previewUrl).adjusted(QUrl::RemoveFragment);
    const QUrl target = withoutLocalhost(requested);
    if (page.isValid() && target.adjusted(QUrl::RemoveFragment) == page)
        return target.hasFragment() ? LinkDecision::Follow : LinkDecision::Stay;
    return LinkDecision::OpenOutside;
}

QUrl untitledPreviewUrl() {
    return QUrl::fromLocalFile(QDir(QDir::tempPath()).filePath(QStringLiteral("orvane.html")));
}

}  // namespace preview
