#include "window/preview/page_parts.h"

#include "platform/web/web_view.h"

#include <algorithm>

namespace preview {

namespace {

// Where `block` begins in the body's text.
qsizetype blockOffset(const BodyBlocks &blocks, qsizetype block) {
    if (block >= blocks.count())
        return blocks.end();
    return blocks.block(block).data() - blocks.text().data();
}

// The blocks [first, end) cut into parts of about kPartChars: each part's
// first block, appended to `firstBlocks`. A block long enough to be spliced
// (a long line) is a part of its own, so that the blocks beside it (the
// caret's anchor among them) come and go without changing its text.
void cutParts(const BodyBlocks &blocks, qsizetype first, qsizetype end, std::vector<qsizetype> &firstBlocks) {
    qsizetype length = kPartChars;
    for (qsizetype i = first; i < end; i++) {
        const qsizetype size = blocks.block(i).size();
        const bool alone = size >= kSplicedPartChars;
        if (length >= kPartChars || alone) {
            firstBlocks.push_back(i);
            length = 0;
        }
        length = alone ? kPartChars : length + size;
    }
}

}  // namespace

BodyParts::BodyParts(std::shared_ptr<const BodyBlocks> blocks) : m_blocks(std::move(blocks)) {
    if (!m_blocks)
        m_blocks = std::make_shared<const BodyBlocks>();
    cutParts(*m_blocks, 0, m_blocks->count(), m_first);
}

BodyParts::BodyParts(std::shared_ptr<const BodyBlocks> blocks, std::vector<qsizetype> firstBlocks)
    : m_blocks(std::move(blocks)), m_first(std::move(firstBlocks)) {
    if (!m_blocks)
        m_blocks = std::make_shared<const BodyBlocks>();
}

qsizetype BodyParts::blockCount(qsizetype part) const {
    const qsizetype end = part + 1 < count() ? m_first[size_t(part + 1)] : m_blocks->count();
    return end - m_first[size_t(part)];
}

QStringView BodyParts::text(qsizetype part) const {
    const qsizetype start = blockOffset(*m_blocks, firstBlock(part));
    const qsizetype end = blockOffset(*m_blocks, firstBlock(part) + blockCount(part));
    return QStringView(m_blocks->text()).mid(start, end - start);
}

qsizetype BodyParts::partOfBlock(qsizetype block) const {
    if (m_first.empty())
        return 0;
    const auto after = std::upper_bound(m_first.begin(), m_first.end(), block);
    return after == m_first.begin() ? 0 : qsizetype(after - m_first.begin()) - 1;
}

qsizetype BodyParts::partAt(qsizetype offset) const {
    // The last part whose first block begins at or before `offset`.
    qsizetype low = 0, high = count();
    while (high - low > 1) {
        const qsizetype middle = (low + high) / 2;
        if (blockOffset(*m_blocks, firstBlock(middle)) <= offset)
            low = middle;
        else
            high = middle;
    }
    return low;
}

PartChange changeParts(const BodyParts &before, std::shared_ptr<const BodyBlocks> after) {
    PartChange change;
    if (!after)
        after = std::make_shared<const BodyBlocks>();
    if (before.count() == 0) {
        change.parts = BodyParts(after);
        if (change.parts.count() > 0)
            change.hunks.push_back({0, 0, 0, change.parts.count()});
        return change;
    }
    // The old parts each run of changed blocks touches; runs that touch the
    // same or neighbouring parts make one hunk. A run that only inserts
    // belongs to the part it inserts into (the last for the end).
    struct Touched {
        qsizetype first, end;  // old parts
        qsizetype shift;       // new blocks − old blocks up to the end of this hunk
    };
    std::vector<Touched> touched;
    qsizetype shift = 0;
    for (const BlockHunk &hunk : blockHunks(before.blocks(), *after)) {
        const qsizetype first = before.partOfBlock(std::min(hunk.before, before.blocks().count() - 1));
        const qsizetype last = hunk.removed > 0 ? before.partOfBlock(hunk.before + hunk.removed - 1) : first;
        shift += hunk.inserted - hunk.removed;
        if (!touched.empty() && first <= touched.back().end) {
            touched.back().end = std::max(touched.back().end, last + 1);
            touched.back().shift = shift;
        } else {
            touched.push_back({first, last + 1, shift});
        }
    }
    std::vector<qsizetype> firstBlocks;
    firstBlocks.reserve(size_t(before.count()) + 8);
    qsizetype part = 0, delta = 0;
    for (const Touched &t : touched) {
        for (; part < t.first; part++)
            firstBlocks.push_back(before.firstBlock(part) + delta);
        const qsizetype from = before.firstBlock(t.first) + delta;
        const qsizetype oldEnd = t.end < before.count() ? before.firstBlock(t.end) : before.blocks().count();
        delta = t.shift;
        const qsizetype at = qsizetype(firstBlocks.size());
        cutParts(*after, from, oldEnd + delta, firstBlocks);
        change.hunks.push_back({t.first, t.end - t.first, at, qsizetype(firstBlocks.size()) - at});
        part = t.end;
    }
    for (; part < before.count(); part++)
        firstBlocks.push_back(before.firstBlock(part) + delta);
    change.parts = BodyParts(std::move(after), std::move(firstBlocks));
    return change;
}

QString blockElementName(QStringView block) {
    qsizetype i = 0;
    while (i < block.size() && block[i].isSpace())
        i++;
    if (i >= block.size() || block[i] != u'<')
        return QStringLiteral("#text");
    if (block.mid(i).startsWith(u"<!--"))
        return QStringLiteral("#comment");
    qsizetype end = i + 1;
    while (end < block.size() && (block[end].isLetterOrNumber() || block[end] == u'-'))
        end++;
    if (end == i + 1)
        return QStringLiteral("#text");
    return block.mid(i + 1, end - i - 1).toString().toUpper();
}

std::optional<PartSplice> partSplice(QStringView before, QStringView after) {
    if (before.size() < kSplicedPartChars || after.size() < kSplicedPartChars)
        return std::nullopt;
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype head = std::mismatch(before.begin(), before.begin() + shorter, after.begin()).first - before.begin();
    const auto tailEnd = std::mismatch(before.rbegin(), before.rbegin() + (shorter - head), after.rbegin());
    qsizetype tail = tailEnd.first - before.rbegin();
    // The page's text is cut between whole characters: the middle, sent as
    // a string of its own, then never holds half a surrogate pair.
    if (head > 0 && before[head - 1].isHighSurrogate())
        head--;
    if (tail > 0 && before[before.size() - tail].isLowSurrogate())
        tail--;
    // An edit that rewrote most of the part is sent whole.
    if (after.size() - head - tail > after.size() / 2)
        return std::nullopt;
    return PartSplice{head, tail, before.size()};
}

namespace {

// The longest of parts [first, first + count), or -1 when none is long
// enough to be spliced.
qsizetype longestPart(const BodyParts &parts, qsizetype first, qsizetype count) {
    qsizetype longest = -1, length = kSplicedPartChars - 1;
    for (qsizetype k = first; k < first + count; k++)
        if (parts.text(k).size() > length) {
            longest = k;
            length = parts.text(k).size();
        }
    return longest;
}

void takePartByPart(const BodyParts &before, const BodyParts &after, const PartHunk &hunk, std::vector<PartHunk> &out) {
    if (hunk.removed == 0 && hunk.inserted == 0)
        return;
    const qsizetype old = longestPart(before, hunk.before, hunk.removed);
    const qsizetype made = longestPart(after, hunk.after, hunk.inserted);
    if (old >= 0 && made >= 0) {
        takePartByPart(before, after, {hunk.before, old - hunk.before, hunk.after, made - hunk.after}, out);
        out.push_back({old, 1, made, 1});
        takePartByPart(before, after,
                       {old + 1, hunk.before + hunk.removed - old - 1, made + 1, hunk.after + hunk.inserted - made - 1},
                       out);
    } else if (hunk.removed == hunk.inserted) {
        for (qsizetype i = 0; i < hunk.removed; i++)
            if (before.text(hunk.before + i) != after.text(hunk.after + i))
                out.push_back({hunk.before + i, 1, hunk.after + i, 1});
    } else {
        out.push_back(hunk);
    }
}

}  // namespace

std::vector<PartHunk> partByPart(const BodyParts &before, const BodyParts &after, const std::vector<PartHunk> &hunks) {
    std::vector<PartHunk> out;
    for (const PartHunk &hunk : hunks)
        takePartByPart(before, after, hunk, out);
    return out;
}

// --- Page scripts ------------------------------------------------------------------

namespace {

// An empty part's element, which knows how long its text is.
QString emptyPart(qsizetype chars) {
    return QStringLiteral("<div class=\"%1 %2\" data-chars=\"%3\"></div>").arg(PartClass, EmptyPartClass).arg(chars);
}

// Helpers every parts script starts with: `make` builds a part's element
// (html null for an empty one), `typeset` hands a filled part's blocks to the
// page's typesetter (MathJax: those in view first) and to highlight.js when
// the page has them.
const char16_t *PartHelpers = uR"js(
var PART = PART_CLASS, EMPTY = EMPTY_CLASS;
var body = document.body, parts = body ? body.children : null;
var ratio = window.orvanePartRatio || 0.25;
function typeset(e) {
  if (window.orvaneTypesetter) window.orvaneTypesetter.add(e.children, false);
  if (window.hljs)
    Array.prototype.forEach.call(e.querySelectorAll('pre code'), function (b) {
      if (!b.classList.contains('hljs')) window.hljs.highlightBlock(b);
    });
}
// A long part keeps the HTML it was given, for the splices of later edits.
function hold(d, html) {
  d.innerHTML = html;
  if (html.length >= SPLICED) d.orvaneHtml = html; else delete d.orvaneHtml;
}
function make(html, chars) {
  var d = document.createElement('div');
  d.className = PART;
  d.dataset.chars = chars;
  if (html === null) { d.classList.add(EMPTY); d.style.height = Math.max(1, Math.round(chars * ratio)) + 'px'; }
  else hold(d, html);
  return d;
}
function spliceable(k, length) {
  var p = parts[k];
  return !!p && typeof p.orvaneHtml === 'string' && p.orvaneHtml.length === length;
}
function splice(k, head, tail, middle, chars) {
  var p = parts[k], old = p.orvaneHtml;
  hold(p, old.slice(0, head) + middle + old.slice(old.length - tail));
  p.dataset.chars = chars;
  typeset(p);
}
function put(at, removed, made) {
  var next = parts[at + removed] || null;
  for (var i = 0; i < removed; i++) body.removeChild(parts[at]);
  made.forEach(function (d) { body.insertBefore(d, next); if (!d.classList.contains(EMPTY)) typeset(d); });
}
function fill(k, html) {
  var p = parts[k];
  hold(p, html);
  p.classList.remove(EMPTY);
  p.style.height = '';
  typeset(p);
}
function empty(k) {
  var p = parts[k];
  p.style.height = Math.max(1, p.offsetHeight) + 'px';
  p.textContent = '';
  delete p.orvaneHtml;
  p.classList.add(EMPTY);
}
)js";

QString helpers() {
    QString text = QString::fromUtf16(PartHelpers);
    text.replace(QLatin1String("PART_CLASS"), platform::WebView::stringLiteral(PartClass));
    text.replace(QLatin1String("EMPTY_CLASS"), platform::WebView::stringLiteral(EmptyPartClass));
    text.replace(QLatin1String("SPLICED"), QString::number(kSplicedPartChars));
    return text;
}

}  // namespace

QString partedBody(const BodyParts &parts) {
    QString body;
    body.reserve(parts.count() * 64);
    for (qsizetype i = 0; i < parts.count(); i++)
        body += emptyPart(parts.text(i).size());
    return body;
}

QString changePartsScript(qsizetype oldCount, const BodyParts &parts, const std::vector<PartHunk> &hunks,
                          const std::vector<std::vector<NewPart>> &hunkParts, const std::vector<qsizetype> &fills,
                          const std::vector<qsizetype> &empties, const QString &then) {
    QString script = QStringLiteral("(function () {") + helpers();
    script += QStringLiteral("if (!parts || parts.length !== %1) return false;\n").arg(oldCount);
    // A part spliced in place: the hunk replaces one filled part with one.
    auto splicing = [&](size_t h) -> const NewPart * {
        if (h >= hunkParts.size() || hunkParts[h].size() != 1 || hunks[h].removed != 1)
            return nullptr;
        const NewPart &part = hunkParts[h].front();
        return part.filled && part.splice ? &part : nullptr;
    };
    // The page must still hold each spliced part's HTML, checked before
    // anything changes.
    for (size_t h = 0; h < hunks.size(); h++)
        if (const NewPart *part = splicing(h))
            script += QStringLiteral("if (!spliceable(%1, %2)) return false;\n")
                          .arg(hunks[h].before)
                          .arg(part->splice->oldLength);
    // From the last hunk back, so that each hunk's old place still holds.
    for (size_t h = hunks.size(); h-- > 0;) {
        if (const NewPart *part = splicing(h)) {
            const QStringView text = parts.text(part->index);
            const PartSplice &cut = *part->splice;
            script += QStringLiteral("splice(%1, %2, %3, ").arg(hunks[h].before).arg(cut.head).arg(cut.tail);
            script += platform::WebView::stringLiteral(text.mid(cut.head, text.size() - cut.head - cut.tail));
            script += QStringLiteral(", %1);\n").arg(text.size());
            continue;
        }
        script += QStringLiteral("put(%1, %2, [").arg(hunks[h].before).arg(hunks[h].removed);
        const std::vector<NewPart> &made = h < hunkParts.size() ? hunkParts[h] : std::vector<NewPart>();
        for (size_t i = 0; i < made.size(); i++) {
            const QStringView text = parts.text(made[i].index);
            script += i ? QStringLiteral(", make(") : QStringLiteral("make(");
            script += made[i].filled ? platform::WebView::stringLiteral(text) : QStringLiteral("null");
            script += QStringLiteral(", %1)").arg(text.size());
        }
        script += QStringLiteral("]);\n");
    }
    for (qsizetype k : empties)
        script += QStringLiteral("empty(%1);\n").arg(k);
    for (qsizetype k : fills)
        script +=
            QStringLiteral("fill(%1, %2);\n").arg(k).arg(platform::WebView::stringLiteral(parts.text(k)));
    script += QStringLiteral("try {") + then + QStringLiteral("} catch (e) {}\nreturn true;\n})()");
    return script;
}

QString sizeEmptyPartsScript() {
    return QStringLiteral("(function () {") + helpers() + QStringLiteral(R"js(
if (!parts) return false;
var height = 0, chars = 0;
for (var i = 0; i < parts.length; i++)
  if (!parts[i].classList.contains(EMPTY)) { height += parts[i].offsetHeight; chars += +parts[i].dataset.chars; }
if (height > 0 && chars > 0) window.orvanePartRatio = ratio = height / chars;
for (var i = 0; i < parts.length; i++)
  if (parts[i].classList.contains(EMPTY))
    parts[i].style.height = Math.max(1, Math.round(+parts[i].dataset.chars * ratio)) + 'px';
return true;
})())js");
}

QString partsInViewScript() {
    return QStringLiteral("(function () {") + helpers() + QStringLiteral(R"js(
if (!parts) return null;
var top = 0, bottom = window.innerHeight, near = window.innerHeight;
// The parts are in order down the page: the first whose bottom is below the
// view's top, found by halving.
function firstBelow(y) {
  var low = 0, high = parts.length;
  while (low < high) {
    var middle = (low + high) >> 1;
    if (parts[middle].getBoundingClientRect().bottom < y) low = middle + 1; else high = middle;
  }
  return low;
}
var first = firstBelow(top), last = first;
while (last + 1 < parts.length && parts[last + 1].getBoundingClientRect().top < bottom) last++;
var empty = [];
for (var i = firstBelow(top - near); i < parts.length; i++) {
  if (parts[i].getBoundingClientRect().top > bottom + near) break;
  if (parts[i].classList.contains(EMPTY)) empty.push(i);
}
return JSON.stringify({count: parts.length, first: first, last: last, empty: empty});
})())js");
}

}  // namespace preview
