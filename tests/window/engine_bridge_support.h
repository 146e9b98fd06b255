// The engine bridge under test: a fake editor, the standard preferences of a
// new user, and what the bridge published, counted.
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QStringList>

#include <memory>

#include "fake_engine_editor.h"
#include "platform/dispatch.h"
#include "platform/registered_defaults.h"
#include "support/qt_wait.h"
#include "window/scroll_anchor.h"
#include "window/tzr_engine.h"

// About `bytes` of varied Markdown: headings, paragraphs with inline markup
// and accented letters and emoji, lists, quotes, code, changes and notes.
inline QString sampleDocument(qsizetype bytes) {
    QString doc = QStringLiteral("Title: Sample\nAuthor: Zoë\n\n");
    for (int section = 1; doc.size() < bytes; section++) {
        doc += QStringLiteral("## Section %1\n\n").arg(section);
        doc += QStringLiteral("Some *emphasis*, **strong** text and `code` with naïve café 😀 words "
                              "and a {++change++}{>>why<<} or [a link](http://example.org/%1).[^n%1]\n\n")
                   .arg(section);
        doc += QStringLiteral("- item one\n- item *two*\n    - nested\n\n> Quoted line %1.\n\n").arg(section);
        if (section % 5 == 0)
            doc += QStringLiteral("```\nint main() { return %1; }\n```\n\n").arg(section);
        doc += QStringLiteral("[^n%1]: Note %1.\n\n").arg(section);
    }
    return doc;
}

class BridgeTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    FakeEngineEditor editor;
    QObject observer;
    QStringList htmls;
    QList<HeaderList> headerLists;
    QList<ChangeList> changeLists;
    QList<LabelSet> referenceLists;
    std::unique_ptr<TZREngine> bridge;

    void TearDown() override {
        bridge.reset();
        drain();
    }

    // Waits until no background block runs (the bridge's own hops to the main
    // thread are served meanwhile) and the main thread has taken what they
    // handed over.
    static void drain() {
        ASSERT_TRUE(testing_qt::spinUntil(
            [] { return platform::Dispatch::backgroundPool().activeThreadCount() == 0; },
            std::chrono::seconds(30)));
        testing_qt::spinFor(std::chrono::milliseconds(10));
    }

    void makeBridge() {
        bridge = std::make_unique<TZREngine>();
        bridge->setEditor(&editor);
        bridge->htmlString().observe(&observer, [this](const QString &html) { htmls.append(html); });
        bridge->headers().observe(&observer, [this](const HeaderList &l) { headerLists.append(l); });
        bridge->changes().observe(&observer, [this](const ChangeList &l) { changeLists.append(l); });
        bridge->references().observe(&observer, [this](const LabelSet &l) { referenceLists.append(l); });
    }

    // A bridge over `text`, enabled, after its first cycle and that cycle's
    // replay.
    void start(const QString &text) {
        editor.setText(text);
        makeBridge();
        bridge->enableUpdating();
        ASSERT_TRUE(settle());
        ASSERT_EQ(bridge->completedCycles(), 2u);
    }

    // Waits until no cycle runs or waits to resume, and none follows within
    // a tenth of a second.
    bool settle(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        auto idle = [this] {
            return !bridge->isUpdating() && platform::Dispatch::backgroundPool().activeThreadCount() == 0;
        };
        for (int round = 0; round < 50; round++) {
            if (!testing_qt::spinUntil(idle, timeout))
                return false;
            const quint64 cycles = bridge->completedCycles();
            testing_qt::spinFor(std::chrono::milliseconds(100));
            if (idle() && bridge->completedCycles() == cycles)
                return true;
        }
        return false;
    }

    // An edit, then the cycles it causes.
    void editAndSettle(qsizetype location, qsizetype length, const QString &with) {
        editor.edit(location, length, with);
        ASSERT_TRUE(settle());
    }

    QString lastHtml() const { return htmls.isEmpty() ? QString() : htmls.last(); }
    static QString withoutAnchor(QString html) { return html.remove(QString::fromUtf8(kScrollAnchor)); }
    static qsizetype anchorAt(const QString &html) { return html.indexOf(QLatin1String("TZRHTMLSCROLLPOINT")); }
    // The HTML just before the anchor.
    static QString beforeAnchor(const QString &html, int count = 12) {
        const qsizetype at = html.indexOf(QLatin1String("<a id=\"TZRHTMLSCROLLPOINT\""));
        return at < 0 ? QString() : html.mid(std::max<qsizetype>(0, at - count), std::min<qsizetype>(at, count));
    }
};
