// The engine bridge under test: the preferences of a new user, a fake
// editor, and what the bridge published.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "window/bridge/fake_engine_editor.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "library/tzr.h"
#include "window/bridge/scroll_anchor.h"
#include "window/bridge/tzr_engine.h"

// About `bytes` of varied Markdown, with headings, inline markup, accents and
// emoji, lists, quotes, code, changes and notes.
inline QString sampleDocument(qsizetype bytes) {
    QString doc = QStringLiteral("Title: Sample\n\n");
    for (int n = 1; doc.size() < bytes; n++)
        doc += QStringLiteral("## Section %1\n\nSome *emphasis*, `code`, naïve 😀 words, a {++change++}{>>why<<} "
                              "and [a link](http://example.org/%1).[^n%1]\n\n- item\n    - nested\n\n"
                              "> Quoted %1.\n\n[^n%1]: Note %1.\n\n")
                   .arg(n);
    return doc;
}

// Waits until no background block runs, serving the bridge's hops to the
// main thread meanwhile and what they hand over.
inline bool drainBackground() {
    const bool idle = testing_qt::spinUntil(
        [] { return platform::Dispatch::backgroundPool().activeThreadCount() == 0; }, std::chrono::seconds(30));
    testing_qt::spinFor(std::chrono::milliseconds(10));
    return idle;
}

// Waits until no cycle runs or waits to resume, and none follows within a
// tenth of a second.
inline bool settle(const TZREngine &bridge) {
    auto idle = [&] { return !bridge.isUpdating() && platform::Dispatch::backgroundPool().activeThreadCount() == 0; };
    for (int round = 0; round < 50; round++) {
        if (!testing_qt::spinUntil(idle, std::chrono::seconds(30)))
            return false;
        const quint64 cycles = bridge.completedCycles();
        testing_qt::spinFor(std::chrono::milliseconds(100));
        if (idle() && bridge.completedCycles() == cycles)
            return true;
    }
    return false;
}

// The library's own HTML for a UTF-8 text, as the live engine makes it.
inline QString rendered(const QByteArray &text) {
    char *html = tzr_string_convert(text.constData(), TZREngine::extensions() | TZR_EXT_COMPLETE, 0, 0);
    QString result = QString::fromUtf8(html);
    free(html);
    result.chop(1);  // the conversion's closing newline
    return result;
}

inline QString withoutAnchor(QString html) { return html.remove(QString::fromUtf8(kScrollAnchor)); }
inline qsizetype anchorAt(const QString &html) { return html.indexOf(QLatin1String("TZRHTMLSCROLLPOINT")); }

class BridgeTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    FakeEngineEditor editor;
    QObject observer;
    QStringList htmls;
    QList<HeaderList> headerLists;
    QList<ChangeList> changeLists;
    std::unique_ptr<TZREngine> bridge;

    void TearDown() override {
        bridge.reset();
        ASSERT_TRUE(drainBackground());
    }
    void makeBridge() {
        bridge = std::make_unique<TZREngine>();
        bridge->setEditor(&editor);
        bridge->htmlString().observe(&observer, [this](const PreviewHtml &html) { htmls.append(html.html); });
        bridge->headers().observe(&observer, [this](const HeaderList &l) { headerLists.append(l); });
        bridge->changes().observe(&observer, [this](const ChangeList &l) { changeLists.append(l); });
    }
    // A bridge over `text`, enabled, after its first cycle and that cycle's replay.
    void start(const QString &text) {
        editor.setText(text);
        makeBridge();
        bridge->enableUpdating();
        ASSERT_TRUE(settle());
        ASSERT_EQ(bridge->completedCycles(), 2u);
    }
    bool settle() { return ::settle(*bridge); }
    void editAndSettle(qsizetype location, qsizetype length, const QString &with) {
        editor.edit(location, length, with);
        ASSERT_TRUE(settle());
    }
    QString lastHtml() const { return htmls.isEmpty() ? QString() : htmls.last(); }
};
