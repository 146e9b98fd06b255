// What the engine bridge needs of a document window's editor and of the views
// it feeds: a copy of the text, the caret, the trigger after each edit, the
// typed-space flag, which of the preview and the three sidebars are hidden,
// and two services (citation completion, the preview's style sheet).
//
// The window content implements it over its editor view, text storage,
// preview and sidebars; tests implement it with a fake editor. The bridge
// calls every member on the main thread only and keeps nothing beyond the
// call: the text comes as a copy, never as a pointer into the buffer.
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

    // The text as UTF-8, copied from the text storage's buffer (str, len).
    virtual QByteArray utf8Text() const = 0;
    // The text as the views hold it (UTF-16 units), for the heading filter.
    virtual QString string() const = 0;
    // A count that grows with every change of the text; lists built from a
    // copy of the text carry the count the copy was taken at.
    virtual quint64 editGeneration() const = 0;
    // Where the selection starts (selectedRange's location).
    virtual qsizetype caretLocation() const = 0;
    // The range of the last edit (lastEditedRange); nothing when unknown.
    virtual std::optional<platform::TextRange> lastEditedRange() const = 0;
    // Reads the editor's typedSpace flag and clears it.
    virtual bool takeTypedSpace() = 0;
    // Whether the view is hidden or has a hidden ancestor.
    virtual bool isViewHidden(View view) const = 0;
    // Hands new citation keys ("#key") to the storage's completion.
    virtual void addBibtexToAutoComplete(const QSet<QString> &citeKeys) = 0;
    // The style-sheet file the preview shows (activeCSSPath); empty for none.
    virtual QString activeCSSPath() const = 0;
    // Calls `changed` after every edit, even one that leaves the count of
    // characters as it was (the editor's charCount), until `context` goes.
    virtual QMetaObject::Connection observeCharCount(const QObject *context,
                                                     std::function<void()> changed) = 0;
};

// For implementations of isViewHidden: the widget or one of its ancestors
// below its window is hidden. Unlike !isVisible(), a view of a window not
// shown yet counts as shown, as long as nothing on the way up was hidden.
bool isHiddenOrHasHiddenAncestor(const QWidget *widget);
