// The text side of a document window's commands: what each one replaces,
// with what, and where the selection goes afterwards, worked out on a copy
// of the editor text. The window content (TZRMasterView) then hands each
// edit to its editor as one undoable change.
//
// Ranges count UTF-16 units, as the editor does. Every range that comes from
// the selection is clamped to the text before it is used, so that a stale or
// made-up selection can never reach past the end.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <ctime>
#include <optional>

#include "editor/storage/smart_text_storage.h"

namespace platform {
class Defaults;
}

namespace windowedits {

// One replacement in the editor text.
struct TextEdit {
    CharRange range;                     // replaced
    QString text;                        // by this
    std::optional<CharRange> selection;  // the selection afterwards; none: where the edit leaves it
    bool renumberLists = false;          // the ordered lists of the new text are to be renumbered
    bool differencesOnly = false;        // applied as its differences, the selection kept
    bool criticNote = false;             // a CriticMarkup comment or highlight, which tracking leaves unmarked
    bool operator==(const TextEdit &) const = default;
};

// --- CriticMarkup comments ----------------------------------------------------------

// The stamp after the author: " - " and the time formatted by `dateFormat`
// (strftime codes), or nothing when the format is empty or formats to
// nothing (or only a blank).
QString criticStamp(const QString &dateFormat, const std::tm &time);
// The comment a highlight or comment command adds: "{>><<}" without a
// stamp, else "{>>" + author + stamp + "<<}".
QString criticMarkupComment(bool insertStamp, const QString &author, const QString &dateFormat,
                            const std::tm &time);
// The same from the preferences "markupInsertStamp", "markupComment" and
// "markupDateFormat", at the local time now.
QString criticMarkupCommentDefault(const platform::Defaults &defaults);

// "{==" + selected text + "==}" + comment; the selection stays on the text.
TextEdit wrapInCriticHighlight(const QString &text, CharRange selection, const QString &comment);
// The selected text as a comment: "{>>" + text + "<<}" with an empty comment,
// else the text, a blank and what the comment holds; the selection stays on
// the text.
TextEdit wrapInCriticComment(const QString &text, CharRange selection, const QString &comment);

// --- Blocks ---------------------------------------------------------------------------

// "{{TOC}}" in place of the selection.
TextEdit insertTOC(const QString &text, CharRange selection);

enum class BlockType : int {
    Plain = 0,           // markers stripped
    Blockquote = 1,
    BulletedList = 2,
    EnumeratedList = 3,
    FencedCode = 4,
};
// The selected lines remade as another block: their markers stripped, then
// the block's own added. Plain, quotes and lists take the whole text when
// nothing is selected; a fence takes the caret's line; any other type works
// on the selection exactly and only strips. The new text is selected; lists
// are renumbered after.
TextEdit makeBlock(const QString &text, CharRange selection, int type);

enum class PasteForm { BulletedList, EnumeratedList, Blockquote, Table, TableRows };
// Pasted text turned into a form, in place of the selection (lists are
// renumbered after, over the pasted text).
TextEdit pasteAs(const QString &text, CharRange selection, PasteForm form, const QString &pasted);

// --- Clean-ups ------------------------------------------------------------------------

// The clean-up types of the text engine (textengine/transforms/cleanup.h),
// 0 renumber ... 9 tab after list markers.
constexpr int kCleanupTypes = 10;
// The range a clean-up command works on: the selection; the whole text for
// entities and punctuation (2, 3) when nothing is selected; the start for
// the metadata block (4).
CharRange cleanupRangeForCommand(int type, CharRange selection, qsizetype textLength);
// Runs clean-up `type` over the whole lines of `range` of the UTF-8 text
// `utf8` (whose UTF-16 form is `textLength` units long). Nothing when the
// type is unknown or the clean-up leaves the text as it is; else the range and its new text,
// to be applied as differences only with the selection kept.
std::optional<TextEdit> cleanup(const QByteArray &utf8, qsizetype textLength, CharRange range, int type,
                                uint64_t extensions, unsigned short language, qint64 listMarker);

// An edit that asks for its lists to be renumbered, made one edit with the
// renumbering: the range grows to take in every line the renumbering
// changed (a list may go on past the new text), it is applied as
// differences, and the new text stays selected (or, without a selection,
// the caret goes after it). An edit that needs no renumbering comes back as
// it was.
TextEdit withListsRenumbered(const QString &text, const TextEdit &edit, uint64_t extensions,
                             unsigned short language);

}  // namespace windowedits
