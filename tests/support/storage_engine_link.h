// The engine bridge's link over a real text storage, standing in for the
// editor view that will implement it: the text, the storage's edit
// generation and the last edit come from the storage, and the trigger fires
// after each change, as the view's charCount will; the caret, the typed-space flag and the
// hidden views, which belong to views not built here, are plain fields.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include "editor/storage/smart_text_storage.h"
#include "platform/runtime/observable.h"
#include "window/bridge/engine_editor_link.h"

class StorageEngineLink : public EngineEditorLink {
public:
    SmartTextStorage &storage;
    std::optional<platform::TextRange> lastEdit;
    bool typedSpace = false;
    bool hidden[4] = {false, false, false, false};
    QSet<QString> completionKeys;
    // How long the main thread served the bridge's copies of the text.
    mutable qint64 copyNanoseconds = 0;
    mutable int copies = 0;

    explicit StorageEngineLink(SmartTextStorage &textStorage) : storage(textStorage) {
        QObject::connect(&storage, &SmartTextStorage::textChanged, &m_context, [this](const TextChange &change) {
            lastEdit = platform::TextRange{change.location, change.insertedLength};
            m_charCount.setAlways(storage.charCount());
        });
    }

    QByteArray utf8Text() const override {
        QElapsedTimer clock;
        clock.start();
        QByteArray text(storage.str(), qsizetype(storage.len()));
        copyNanoseconds += clock.nsecsElapsed();
        copies++;
        return text;
    }
    qsizetype utf8Length() const override { return qsizetype(storage.len()); }
    QString string() const override { return storage.string(); }
    quint64 editGeneration() const override { return storage.editGeneration(); }
    qsizetype caretLocation() const override {
        const std::optional<CharRange> caret = storage.caretRange();
        return caret ? caret->location : 0;
    }
    std::optional<platform::TextRange> lastEditedRange() const override { return lastEdit; }
    bool takeTypedSpace() override { return std::exchange(typedSpace, false); }
    bool isViewHidden(View view) const override { return hidden[int(view)]; }
    void addBibtexToAutoComplete(const QSet<QString> &citeKeys) override { completionKeys = citeKeys; }
    QString activeCSSPath() const override { return QString(); }
    QMetaObject::Connection observeCharCount(const QObject *context, std::function<void()> changed) override {
        return m_charCount.observe(context, [changed = std::move(changed)](quint64) { changed(); });
    }

private:
    QObject m_context;
    platform::Observable<quint64> m_charCount;
};
