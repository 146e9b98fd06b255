#include "window/preview/page_parts.h"

#include "platform/web/html_tags.h"
#include "platform/web/page_scripts.h"
#include "platform/web/web_view.h"

#include <algorithm>
#include <array>

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

std::vector<qsizetype> partedBlockStarts(QStringView html, TextRange body, const std::vector<qsizetype> *written) {
    const qsizetype end = body.start + body.length;
    std::vector<qsizetype> starts;
    if (!written) {
        starts = topLevelBlockStarts(html.mid(body.start, body.length));
        // The blank lines before the first element go with it.
        if (starts.size() > 1 && html.mid(body.start, starts[1]).trimmed().isEmpty())
            starts.erase(starts.begin() + 1);
        for (qsizetype &start : starts)
            start += body.start;
        return starts;
    }
    if (body.length <= 0)
        return starts;
    starts.reserve(written->size() + 1);
    starts.push_back(body.start);
    for (const qsizetype start : *written)
        if (start > starts.back() && start < end)
            starts.push_back(start);
    return starts;
}

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
    return PartSplice{head, tail, before.size(), std::nullopt};
}

namespace {

// An element open at a place of a part's text, as a reading of its tags
// from the part's start finds it.
struct Open {
    QStringView name;           // empty for the part itself
    qsizetype start = 0;        // where its start tag begins
    qsizetype index = 0;        // among its parent's element children
    qsizetype children = 0;     // its element children begun so far
    qsizetype lastChild = -1;   // where the last of them begins
    QStringView lastChildName;  // and its name
};

// Elements whose children are blocks, one after another, each of which the
// page can take from a template by itself.
bool holdsBlocks(QStringView name) {
    static const char16_t *const names[] = {u"table", u"thead", u"tbody", u"tfoot", u"tr", u"blockquote",
                                            u"ul",    u"ol",    u"dl",    u"div"};
    for (const char16_t *n : names)
        if (name.compare(QStringView(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Whether `html` is whole elements and text: it closes every element it
// opens, in order, and none that it did not open. A run of children that
// closes the element around it and opens another (an edit that ends a quote
// and begins a new one) is not: put in among the children, the page would
// drop its end tags and nest the rest.
bool isWholeElements(QStringView html) {
    std::vector<QStringView> open;
    qsizetype i = 0;
    while ((i = html.indexOf(u'<', i)) >= 0 && i + 1 < html.size()) {
        const QChar next = html[i + 1];
        if (html.mid(i + 1, 3) == u"!--") {
            const qsizetype close = html.indexOf(u"-->", i + 4);
            if (close < 0)
                return false;
            i = close + 3;
        } else if (next == u'/' || platform::isAsciiLetter(next)) {
            const bool closing = next == u'/';
            const qsizetype nameStart = closing ? i + 2 : i + 1;
            const qsizetype nameEnd = platform::htmlNameEnd(html, nameStart);
            const QStringView name = html.mid(nameStart, nameEnd - nameStart);
            qsizetype end = platform::htmlTagEnd(html, nameEnd);
            if (end < 0)
                return false;
            if (closing) {
                if (open.empty() || open.back().compare(name, Qt::CaseInsensitive) != 0)
                    return false;
                open.pop_back();
            } else if (platform::isRawTextElement(name)) {
                end = platform::rawTextEnd(html, name, end);
            } else if (!platform::isVoidElement(name) && html[end - 2] != u'/') {
                open.push_back(name);
            }
            i = end;
        } else {
            i++;
        }
    }
    return open.empty();
}

// The number of elements at the top of `html`.
qsizetype topElements(QStringView html) {
    qsizetype count = 0;
    for (qsizetype start : topLevelBlockStarts(html))
        if (start + 1 < html.size() && html[start] == u'<' && platform::isAsciiLetter(html[start + 1]))
            count++;
    return count;
}

}  // namespace

std::optional<InnerRun> innerRun(QStringView before, QStringView after, const PartSplice &cut) {
    qsizetype from = cut.head, to = before.size() - cut.tail;
    std::vector<Open> open{Open{}};
    std::vector<Open> atFrom, atTo;
    size_t fewest = 0;  // the fewest elements open between `from` and `to`
    qsizetype level = -1, runEnd = -1;
    // Once both ends are read: the element whose children hold the change,
    // the deepest on the way that holds blocks.
    auto settle = [&] {
        fewest = std::min({fewest, atFrom.size(), atTo.size()});
        level = qsizetype(fewest) - 1;
        while (level > 0 && !holdsBlocks(atFrom[size_t(level)].name))
            level--;
    };
    // What the names read last are: a long block repeats a few (a table's
    // rows and cells, a quote's paragraphs).
    struct Kind {
        QStringView name;
        bool raw = false, empty = false;
    };
    std::array<Kind, 8> kinds{};
    size_t nextKind = 0;
    auto kindOf = [&](QStringView name) -> const Kind & {
        for (const Kind &kind : kinds)
            if (kind.name == name)
                return kind;
        Kind &kind = kinds[nextKind++ % kinds.size()];
        kind = {name, platform::isRawTextElement(name), platform::isVoidElement(name)};
        return kind;
    };
    qsizetype i = 0;
    while (runEnd < 0) {
        const qsizetype at = before.indexOf(u'<', i);
        const qsizetype here = at < 0 ? before.size() : at;
        if (atFrom.empty() && here >= from) {
            atFrom = open;
            fewest = open.size();
        }
        if (!atFrom.empty() && atTo.empty() && here >= to) {
            atTo = open;
            settle();
        }
        if (at < 0 || at + 1 >= before.size()) {
            // The text ends: the run goes to the part's end.
            if (level == 0)
                runEnd = before.size();
            break;
        }
        // The extent of what begins here: a tag, a comment, a raw-text
        // element whole; a change that begins or ends inside it takes it in.
        qsizetype end = 0;
        const QChar next = before[at + 1];
        QStringView name;
        bool closing = false;
        if (before.mid(at + 1, 3) == u"!--") {
            const qsizetype close = before.indexOf(u"-->", at + 4);
            end = close < 0 ? before.size() : close + 3;
        } else if (next == u'/' || platform::isAsciiLetter(next)) {
            closing = next == u'/';
            const qsizetype nameStart = closing ? at + 2 : at + 1;
            const qsizetype nameEnd = platform::htmlNameEnd(before, nameStart);
            name = before.mid(nameStart, nameEnd - nameStart);
            end = platform::htmlTagEnd(before, nameEnd);
            if (end < 0)
                return std::nullopt;
            if (!closing && kindOf(name).raw)
                end = platform::rawTextEnd(before, name, end);
        } else if (next == u'!' || next == u'?') {
            end = platform::htmlTagEnd(before, at + 2);
            if (end < 0)
                return std::nullopt;
        } else {
            i = at + 1;  // a "<" that begins nothing is text
            continue;
        }
        if (atFrom.empty() && end > from) {
            from = at;
            atFrom = open;
            fewest = open.size();
        }
        if (!atFrom.empty() && atTo.empty() && end > to)
            to = end;
        // An end tag closes the innermost open element of its name and all
        // inside it; one that matches nothing is ignored.
        qsizetype closes = 0;
        if (closing)
            for (qsizetype k = qsizetype(open.size()) - 1; k > 0 && !closes; k--)
                if (open[size_t(k)].name.compare(name, Qt::CaseInsensitive) == 0)
                    closes = k;
        if (level >= 0 && ((!closing && !name.isEmpty() && qsizetype(open.size()) == level + 1) ||
                           (closing && closes > 0 && closes <= level))) {
            // A child after the run, or the end of the element (or of one
            // around it, which ends it too).
            if (closes > 0 && closes < level)
                return std::nullopt;
            runEnd = at;
            break;
        }
        if (closes > 0) {
            open.resize(size_t(closes));
        } else if (!closing && !name.isEmpty()) {
            Open &parent = open.back();
            const Open child{name, at, parent.children, 0, -1, {}};
            parent.children++;
            parent.lastChild = at;
            parent.lastChildName = name;
            const Kind &kind = kindOf(name);
            if (!kind.empty && !kind.raw)
                open.push_back(child);
        }
        if (!atFrom.empty() && atTo.empty())
            fewest = std::min(fewest, open.size());
        i = end;
    }
    if (level < 0 || runEnd < 0)
        return std::nullopt;
    // The run: from the child that holds the change's start to the one that
    // holds its end, each with the text after it up to the next.
    const size_t child = size_t(level) + 1;
    const Open &element = atFrom[size_t(level)];
    InnerRun run;
    qsizetype runStart = 0;
    if (atFrom.size() > child) {
        run.first = atFrom[child].index;
        runStart = atFrom[child].start;
        run.firstName = atFrom[child].name.toString().toUpper();
    } else {
        run.first = element.children - 1;
        runStart = element.lastChild;
        run.firstName = element.lastChildName.toString().toUpper();
    }
    qsizetype last = 0;
    if (atTo.size() > child) {
        last = atTo[child].index;
        run.lastName = atTo[child].name.toString().toUpper();
    } else {
        last = atTo[size_t(level)].children - 1;
        run.lastName = atTo[size_t(level)].lastChildName.toString().toUpper();
    }
    if (run.first < 0 || last < run.first || runStart < 0 || runStart > cut.head)
        return std::nullopt;
    run.removed = last - run.first + 1;
    run.toEnd = runEnd >= before.size() || before[runEnd + 1] == u'/';
    const qsizetype delta = after.size() - before.size();
    run.start = runStart;
    run.length = runEnd + delta - runStart;
    // Worth it only when the run is a small share of the part.
    if (run.length < 0 || 2 * (runEnd - runStart) >= before.size() || 2 * run.length >= after.size())
        return std::nullopt;
    run.oldLength = runEnd - runStart;
    const QStringView made = after.mid(run.start, run.length);
    if (!isWholeElements(made) || !isWholeElements(before.mid(run.start, run.oldLength)))
        return std::nullopt;
    run.inserted = topElements(made);
    for (size_t k = 1; k <= size_t(level); k++) {
        run.path.push_back(atFrom[k].index);
        run.names << atFrom[k].name.toString().toUpper();
    }
    return run;
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

// The helpers every parts script starts with (resources/page/page-parts.js,
// after those of the block scripts), made once.
const QString &helpers() {
    static const QString text = [] {
        QString made = blockHelpers() + platform::pageResource(u"page-parts.js");
        made.replace(QLatin1String("PART_CLASS"), platform::WebView::stringLiteral(PartClass));
        made.replace(QLatin1String("EMPTY_CLASS"), platform::WebView::stringLiteral(EmptyPartClass));
        made.replace(QLatin1String("SPLICED"), QString::number(kSplicedPartChars));
        return made;
    }();
    return text;
}

}  // namespace

namespace {

// An inner run as the page's splice takes it (see replaceInner).
QString innerRunLiteral(const InnerRun &run, QStringView part) {
    QStringList path, names;
    for (qsizetype index : run.path)
        path << QString::number(index);
    for (const QString &name : run.names)
        names << platform::WebView::stringLiteral(name);
    return QStringLiteral("[[%1], [%2], %3, %4, %5, ")
               .arg(path.join(u','), names.join(u','))
               .arg(run.first)
               .arg(run.removed)
               .arg(run.toEnd ? QStringLiteral("true") : QStringLiteral("false")) +
           platform::WebView::stringLiteral(run.firstName) + QStringLiteral(", ") +
           platform::WebView::stringLiteral(run.lastName) + QStringLiteral(", %1, ").arg(run.inserted) +
           platform::WebView::stringLiteral(part.mid(run.start, run.length)) +
           QStringLiteral(", %1, %2]").arg(run.start).arg(run.oldLength);
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
            script += QStringLiteral(", %1, ").arg(text.size());
            script += cut.inner ? innerRunLiteral(*cut.inner, text) : QStringLiteral("null");
            script += QStringLiteral(");\n");
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
