// A fake editor for the engine bridge, with counts of what the bridge asked
// and a hook that runs while the bridge copies the text for a cycle it has
// begun (the cycle is then certainly in flight). Questions from any thread
// but the main one are counted as faults.
#pragma once

#include <atomic>
#include <functional>

#include "platform/runtime/dispatch.h"
#include "platform/runtime/observable.h"
#include "window/bridge/engine_editor_link.h"

class FakeEngineEditor : public EngineEditorLink {
public:
    QString text;
    quint64 generation = 0;
    qsizetype caret = 0;
    std::optional<platform::TextRange> lastEdit;
    bool typedSpace = false;
    bool hidden[4] = {false, false, false, false};
    QString cssPath;
    mutable std::atomic<int> offMainCalls{0};
    mutable int textCopies = 0, caretReads = 0;
    QList<QSet<QString>> bibtexCalls;
    // Run once, on the main thread: at the next copy of the text (a cycle
    // has begun and takes its snapshot), and when citation keys next arrive.
    mutable std::function<void()> onTextCopy;
    std::function<void()> onBibtex;
    platform::Observable<quint64> charCount;

    // An edit as the editor makes it: the generation grows, the caret goes
    // after the new text and charCount fires.
    void edit(qsizetype location, qsizetype length, const QString &with) {
        text.replace(location, length, with);
        generation++;
        caret = location + with.size();
        lastEdit = platform::TextRange{location, with.size()};
        charCount.setAlways(quint64(text.size()));
    }
    void setText(const QString &newText) { edit(0, text.size(), newText); }
    void setHidden(View view, bool hide) { hidden[int(view)] = hide; }

    QByteArray utf8Text() const override {
        check();
        textCopies++;
        if (auto hook = std::exchange(onTextCopy, nullptr))
            hook();
        return text.toUtf8();
    }
    qsizetype utf8Length() const override { return check(), text.toUtf8().size(); }
    QString string() const override { return check(), text; }
    quint64 editGeneration() const override { return check(), generation; }
    qsizetype caretLocation() const override { return check(), caretReads++, caret; }
    std::optional<platform::TextRange> lastEditedRange() const override { return check(), lastEdit; }
    bool takeTypedSpace() override { return check(), std::exchange(typedSpace, false); }
    bool isViewHidden(View view) const override { return check(), hidden[int(view)]; }
    QString activeCSSPath() const override { return check(), cssPath; }
    void addBibtexToAutoComplete(const QSet<QString> &keys) override {
        check();
        bibtexCalls.append(keys);
        if (auto hook = std::exchange(onBibtex, nullptr))
            hook();
    }
    QMetaObject::Connection observeCharCount(const QObject *context, std::function<void()> changed) override {
        return charCount.observe(context, [changed = std::move(changed)](quint64) { changed(); });
    }

private:
    void check() const { offMainCalls += !platform::Dispatch::isMainThread(); }
};
