#include "window/content/window_text_edits.h"

#include <cstdlib>
#include <ctime>

#include "textengine/transforms/cleanup.h"
#include "editor/markdown/markdown_tables.h"
#include "editor/markdown/markdown_transforms.h"
#include "platform/prefs/defaults.h"

namespace windowedits {

namespace {

CharRange clamped(const QString &text, CharRange range) {
    const markdown::TextRange r = markdown::clampedRange(text, {range.location, range.length});
    return {r.location, r.length};
}

CharRange lineRange(const QString &text, CharRange range) {
    const markdown::TextRange r = markdown::lineRangeForRange(text, {range.location, range.length});
    return {r.location, r.length};
}

// The selected text wrapped in a CriticMarkup comment or highlight, still
// selected inside the marks (which open with three characters).
TextEdit wrapped(const QString &text, CharRange selection, const QString &result) {
    selection = clamped(text, selection);
    TextEdit edit{selection, result, CharRange{selection.location + 3, selection.length}};
    edit.criticNote = true;
    return edit;
}

}  // namespace

// --- CriticMarkup comments ----------------------------------------------------------

QString criticStamp(const QString &dateFormat, const std::tm &time) {
    if (dateFormat.isEmpty())
        return {};
    const QByteArray format = dateFormat.toUtf8();
    char buffer[1024];
    // strftime returns 0 both for a format that makes nothing and for one
    // that does not fit; the buffer is then undefined, so only the length it
    // reports is trusted.
    const size_t length = std::strftime(buffer, sizeof buffer, format.constData(), &time);
    const QString formatted = QString::fromUtf8(buffer, qsizetype(length));
    if (formatted.isEmpty() || formatted == QLatin1String(" "))
        return {};
    return QStringLiteral(" - ") + formatted;
}

QString criticMarkupComment(bool insertStamp, const QString &author, const QString &dateFormat,
                            const std::tm &time) {
    if (!insertStamp)
        return QStringLiteral("{>><<}");
    return QStringLiteral("{>>") + author + criticStamp(dateFormat, time) + QStringLiteral("<<}");
}

QString criticMarkupCommentDefault(const platform::Defaults &defaults) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return criticMarkupComment(defaults.boolForKey(QStringLiteral("markupInsertStamp")),
                               defaults.stringForKey(QStringLiteral("markupComment")),
                               defaults.stringForKey(QStringLiteral("markupDateFormat")), local);
}

TextEdit wrapInCriticHighlight(const QString &text, CharRange selection, const QString &comment) {
    selection = clamped(text, selection);
    const QString selected = text.mid(selection.location, selection.length);
    return wrapped(text, selection, QStringLiteral("{==") + selected + QStringLiteral("==}") + comment);
}

TextEdit wrapInCriticComment(const QString &text, CharRange selection, const QString &comment) {
    selection = clamped(text, selection);
    QString result = comment;
    // A comment that holds more than its marks gets a blank between the
    // selected text and what it holds.
    if (result.size() >= 7)
        result.insert(3, u' ');
    result.insert(3, text.mid(selection.location, selection.length));
    return wrapped(text, selection, result);
}

// --- Blocks ---------------------------------------------------------------------------

TextEdit insertTOC(const QString &text, CharRange selection) {
    return {clamped(text, selection), QStringLiteral("{{TOC}}"), std::nullopt};
}

TextEdit makeBlock(const QString &text, CharRange selection, int type) {
    selection = clamped(text, selection);
    CharRange range = selection;
    if (type >= 0 && type <= 3)
        range = selection.length == 0 ? CharRange{0, text.size()} : lineRange(text, selection);
    else if (type == 4)
        range = lineRange(text, selection);

    QString block = text.mid(range.location, range.length);
    markdown::stripMarkers(block);
    const markdown::TextRange whole{0, block.size()};
    switch (BlockType(type)) {
    case BlockType::Blockquote:
        markdown::addBlockquoteToRange(block, whole);
        break;
    case BlockType::BulletedList:
        markdown::addListBulletsToRange(block, whole);
        break;
    case BlockType::EnumeratedList:
        markdown::addListEnumeratorsToRange(block, whole);
        break;
    case BlockType::FencedCode:
        block.prepend(QStringLiteral("```\n"));
        if (!block.endsWith(u'\n'))
            block.append(u'\n');
        block.append(QStringLiteral("```\n\n"));
        break;
    case BlockType::Plain:
    default:
        break;
    }
    const bool isList = type == int(BlockType::BulletedList) || type == int(BlockType::EnumeratedList);
    return {range, block, CharRange{range.location, block.size()}, isList};
}

TextEdit pasteAs(const QString &text, CharRange selection, PasteForm form, const QString &pasted) {
    QString result = pasted;
    const markdown::TextRange whole{0, result.size()};
    bool isList = false;
    switch (form) {
    case PasteForm::BulletedList:
        markdown::addListBulletsToRange(result, whole);
        isList = true;
        break;
    case PasteForm::EnumeratedList:
        markdown::addListEnumeratorsToRange(result, whole);
        isList = true;
        break;
    case PasteForm::Blockquote:
        markdown::addBlockquoteToRange(result, whole);
        break;
    case PasteForm::Table:
        markdown::makeTable(result);
        break;
    case PasteForm::TableRows:
        markdown::makeTableRows(result);
        break;
    }
    return {clamped(text, selection), result, std::nullopt, isList};
}

// --- Clean-ups ------------------------------------------------------------------------

CharRange cleanupRangeForCommand(int type, CharRange selection, qsizetype textLength) {
    if (type == CLEANUP_METADATA)
        return {0, 0};
    if ((type == CLEANUP_ENTITIES || type == CLEANUP_PUNCTUATION) && selection.length == 0)
        return {0, textLength};
    return selection;
}

std::optional<TextEdit> cleanup(const QByteArray &utf8, qsizetype textLength, CharRange range, int type,
                                uint64_t extensions, unsigned short language, qint64 listMarker) {
    if (type < 0 || type >= kCleanupTypes)
        return std::nullopt;
    // Clamped to the text, so that the unit range converts to bytes inside it.
    const qsizetype location = qBound<qsizetype>(0, range.location, textLength);
    const qsizetype length = qBound<qsizetype>(0, range.length, textLength - location);
    size_t viewLocation = 0, viewLength = 0;
    char *replacement =
        cleanup_core_range(utf8.constData(), size_t(location), size_t(length), type, extensions, language,
                           long(listMarker), &viewLocation, &viewLength);
    if (!replacement)
        return std::nullopt;
    TextEdit edit{CharRange{qsizetype(viewLocation), qsizetype(viewLength)}, QString::fromUtf8(replacement),
                  std::nullopt};
    edit.differencesOnly = true;
    std::free(replacement);
    // A clean-up that found nothing to change makes no edit (and no undo step).
    if (QString::fromUtf8(utf8).mid(edit.range.location, edit.range.length) == edit.text)
        return std::nullopt;
    return edit;
}

namespace {

// Where line `line` (from 0) starts; the end of the text past the last.
qsizetype startOfLine(const QString &text, qsizetype line) {
    qsizetype position = 0;
    for (; line > 0; line--) {
        const qsizetype next = text.indexOf(u'\n', position);
        if (next < 0)
            return text.size();
        position = next + 1;
    }
    return position;
}

// Which line a position is on, and the column within it.
std::pair<qsizetype, qsizetype> lineAndColumn(const QString &text, qsizetype position) {
    const QStringView before = QStringView(text).first(position);
    const qsizetype line = before.count(u'\n');
    return {line, position - (before.lastIndexOf(u'\n') + 1)};
}

}  // namespace

TextEdit withListsRenumbered(const QString &text, const TextEdit &edit, uint64_t extensions,
                             unsigned short language) {
    if (!edit.renumberLists)
        return edit;
    TextEdit plain = edit;
    plain.renumberLists = false;
    const CharRange range = clamped(text, edit.range);
    QString changed = text;
    changed.replace(range.location, range.length, edit.text);
    const qsizetype blockEnd = range.location + edit.text.size();
    const std::optional<TextEdit> renumbered =
        cleanup(changed.toUtf8(), changed.size(), {range.location, edit.text.size()}, CLEANUP_RENUMBER, extensions,
                language, 0);
    if (!renumbered)
        return plain;

    // The stretch of the changed text that the edit or the renumbering
    // touched, renumbered; outside the edit's own text, the changed text is
    // the old one moved by the edit's change of length.
    const qsizetype from = std::min(range.location, renumbered->range.location);
    const qsizetype to = std::max(blockEnd, renumbered->range.end());
    QString result = changed;
    result.replace(renumbered->range.location, renumbered->range.length, renumbered->text);

    // Renumbering changes numbers, never lines: the new text's lines are
    // where they were, and its first and last columns move only when the
    // numbers in front of them grow or shrink.
    const auto [firstLine, firstColumn] = lineAndColumn(changed, range.location);
    const auto [lastLine, lastColumn] = lineAndColumn(changed, blockEnd);
    const auto columnIn = [&](qsizetype line, qsizetype column) {
        const qsizetype start = startOfLine(result, line);
        const qsizetype oldLength = startOfLine(changed, line + 1) - startOfLine(changed, line);
        const qsizetype newLength = startOfLine(result, line + 1) - start;
        return start + (column == 0 ? 0 : column + newLength - oldLength);
    };
    const qsizetype newStart = columnIn(firstLine, firstColumn);
    const qsizetype newEnd = columnIn(lastLine, lastColumn);
    const qsizetype grown = result.size() - changed.size();

    TextEdit combined{CharRange{from, to - from - edit.text.size() + range.length}, result.mid(from, to - from + grown),
                      edit.selection ? CharRange{newStart, newEnd - newStart} : CharRange{newEnd, 0}};
    combined.differencesOnly = true;
    return combined;
}

}  // namespace windowedits
