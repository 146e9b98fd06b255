// What the engine bridge reads of a document window's editor and of the views
// it feeds, and what it hands back to them.
//
// The window content implements it over its editor view, text storage,
// preview and sidebars; tests implement it with a fake editor. Every member
// is called on the main thread, and only there:
// - when a cycle is asked for (after each edit, or a forced refresh) and when
//   the replay owed to a burst of edits starts, the bridge reads the editor
//   and the views into one snapshot that its background cycle works from; the
//   cycle never comes back here for more;
// - for the main thread's own questions (the heading filter, an export);
// - to hand back what a cycle found (citation keys), posted after the cycle
//   learnt them, never waited for.
// The bridge keeps nothing beyond a call: the text comes as a copy, never as
// a pointer into the buffer.
#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

#include "platform/text/text_range.h"

class QObject;
class QWidget;

class EngineEditorLink {
public:
    enum class View { Preview, Changes, References, TableOfContents };

    virtual ~EngineEditorLink() = default;

    // --- Read into a cycle's snapshot -------------------------------------------------

    // Whether the view is hidden or has a hidden ancestor.
    virtual bool isViewHidden(View view) const = 0;
    // The text as UTF-8, copied from the text storage's buffer (str, len),
    // and its length in bytes (asked first: a text too long to render is
    // not copied).
    virtual QByteArray utf8Text() const = 0;
    virtual qsizetype utf8Length() const = 0;
    // A count that grows with every change of the text; lists built from a
    // copy of the text carry the count the copy was taken at.
    virtual quint64 editGeneration() const = 0;
    // The range of the last edit (lastEditedRange); nothing when unknown.
    virtual std::optional<platform::TextRange> lastEditedRange() const = 0;
    // Where the selection starts (selectedRange's location); read for the
    // replay, when it starts.
    virtual qsizetype caretLocation() const = 0;
    // Reads the editor's typedSpace flag and clears it.
    virtual bool takeTypedSpace() = 0;

    // --- Main-thread questions --------------------------------------------------------

    // The text as the views hold it (UTF-16 units), for the heading filter.
    virtual QString string() const = 0;
    // The style-sheet file the preview shows (activeCSSPath); empty for none.
    virtual QString activeCSSPath() const = 0;

    // --- Handed back -------------------------------------------------------------------

    // New citation keys ("#key") for the storage's completion.
    virtual void addBibtexToAutoComplete(const QSet<QString> &citeKeys) = 0;
    // Calls `changed` after every edit, even one that leaves the count of
    // characters as it was (the editor's charCount), until `context` goes.
    virtual QMetaObject::Connection observeCharCount(const QObject *context,
                                                     std::function<void()> changed) = 0;
};

// For implementations of isViewHidden: the widget or one of its ancestors
// below its window is hidden. Unlike !isVisible(), a view of a window not
// shown yet counts as shown, as long as nothing on the way up was hidden.
bool isHiddenOrHasHiddenAncestor(const QWidget *widget);
