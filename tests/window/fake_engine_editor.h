// A fake editor for the engine bridge: the text, the caret, the trigger after
// each edit, the typed-space flag and the hidden views, with counts of what
// the bridge asked and a hook that runs while a cycle copies the text (the
// cycle is then certainly in flight). Every question must come on the main
// thread; questions from elsewhere are counted as faults.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <functional>

#include "platform/dispatch.h"
#include "platform/observable.h"
#include "window/engine_editor_link.h"

class FakeEngineEditor : public EngineEditorLink {
public:
    QString text;
    quint64 generation = 0;
    qsizetype caret = 0;
    std::optional<platform::TextRange> lastEdit;
    bool typedSpace = false;
    bool hidden[4] = {false, false, false, false};
    QString cssPath;

    // What the bridge did.
    mutable std::atomic<int> offMainCalls{0};
    mutable int textCopies = 0;
    mutable int caretReads = 0;
    QList<QSet<QString>> bibtexCalls;

    // Runs on the main thread inside a cycle, before the text is copied.
    std::function<void()> onTextCopy;
    // Runs on the main thread inside a cycle, when citation keys arrive.
    std::function<void()> onBibtex;

    platform::Observable<quint64> charCount;

    // An edit as the editor makes it: the text changes, the generation grows,
    // the caret goes after the new text and charCount fires.
    void edit(qsizetype location, qsizetype length, const QString &with) {
        text.replace(location, length, with);
        generation++;
        caret = location + with.size();
        lastEdit = platform::TextRange{location, with.size()};
        charCount.setAlways(quint64(text.size()));
    }
    void setText(const QString &newText) { edit(0, text.size(), newText); }
    void hideAll(bool hide) { std::fill(std::begin(hidden), std::end(hidden), hide); }
    void setHidden(View view, bool hide) { hidden[int(view)] = hide; }

    QByteArray utf8Text() const override {
        check();
        textCopies++;
        if (onTextCopy)
            onTextCopy();
        return text.toUtf8();
    }
    QString string() const override { check(); return text; }
    quint64 editGeneration() const override { check(); return generation; }
    qsizetype caretLocation() const override {
        check();
        caretReads++;
        return caret;
    }
    std::optional<platform::TextRange> lastEditedRange() const override { check(); return lastEdit; }
    bool takeTypedSpace() override {
        check();
        return std::exchange(typedSpace, false);
    }
    bool isViewHidden(View view) const override { check(); return hidden[int(view)]; }
    void addBibtexToAutoComplete(const QSet<QString> &citeKeys) override {
        check();
        bibtexCalls.append(citeKeys);
        if (onBibtex)
            onBibtex();
    }
    QString activeCSSPath() const override { check(); return cssPath; }
    QMetaObject::Connection observeCharCount(const QObject *context, std::function<void()> changed) override {
        return charCount.observe(context, [changed = std::move(changed)](quint64) { changed(); });
    }

private:
    void check() const {
        if (!platform::Dispatch::isMainThread())
            offMainCalls++;
    }
};
