// Sidebars under test over a real document: the text storage with an editor
// view, the engine bridge over the storage, and a window holding a sidebar
// on the left of the editor, shown offscreen.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <memory>

#include "editor/view/kvx_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "window/bridge/engine_bridge_support.h"
#include "platform/prefs/registered_defaults.h"
#include "support/storage_engine_link.h"
#include "window/sidebars/sidebar_row_model.h"
#include "window/bridge/tzr_engine.h"

namespace sidebartest {

// The labels of a published list's rows, in order.
inline QStringList labels(const QVariantList &rows) {
    QStringList result;
    for (const QVariant &row : rows)
        result.append(rowLabel(row.toMap()));
    return result;
}

// A document in the shape sidebars are made for: nested headings, changes,
// references and citations, with accents and an emoji.
inline QString sampleDocument() {
    return QStringLiteral(
        "# Introduction\n\n"
        "Notes on café culture 😀 with {++an addition++} and a [reference][Smith].\n\n"
        "## Background\n\n"
        "Earlier work {--was wrong--} stands corrected [#Jones2001].\n\n"
        "## Method\n\n"
        "We count {~~beans~>cups~~}{>>per day<<} in each café.\n\n"
        "# Results\n\n"
        "Plenty of {==espresso==}.\n\n"
        "## Naïve readings\n\n"
        "See [the data][Data].\n\n"
        "# Discussion\n\n"
        "More to come.\n\n"
        "[Smith]: http://example.org/smith\n"
        "[Data]: http://example.org/data\n");
}

// Key and mouse events as the user makes them.
inline void pressKey(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     const QString &text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

inline void doubleClick(QWidget *viewport, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPointF global = viewport->mapToGlobal(QPointF(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), global, Qt::LeftButton, held, modifiers);
        QApplication::sendEvent(viewport, &event);
    }
}

// The keys a widget receives.
struct KeysSeen : QObject {
    QList<int> keys;
    explicit KeysSeen(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::KeyPress)
            keys.append(static_cast<QKeyEvent *>(event)->key());
        return false;
    }
};

// Shows a top-level widget at `size` and lets it settle.
inline void showAndWait(QWidget &widget, QSize size = QSize(230, 300)) {
    widget.resize(size);
    widget.show();
    testing_qt::spinUntil([&] { return widget.size() == size && widget.isVisible(); },
                          std::chrono::milliseconds(500));
    testing_qt::spinFor(std::chrono::milliseconds(10));
}

// Where tests keep pictures worth looking at (in the build folder).
inline QString artifactPath(const QString &name) {
    QDir dir(QStringLiteral(ORVANE_ARTIFACT_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}

class DocumentTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    std::unique_ptr<SmartTextStorage> storage;
    std::unique_ptr<StorageEngineLink> link;
    std::unique_ptr<TZREngine> bridge;
    std::unique_ptr<QWidget> window;
    KVXTextView *editor = nullptr;  // the window's

    void SetUp() override {
        defaults.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
        defaults.setFloat(12, QStringLiteral("defaultFontSize"));
        storage = std::make_unique<SmartTextStorage>(defaults);
        link = std::make_unique<StorageEngineLink>(*storage);
        window = std::make_unique<QWidget>();
        auto *layout = new QHBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        editor = new KVXTextView(storage.get(), &defaults);
        layout->addWidget(editor, 1);
    }
    void TearDown() override {
        bridge.reset();
        ASSERT_TRUE(drainBackground());
        window.reset();
        link.reset();
        storage.reset();
    }

    // Puts `sidebar` left of the editor, 230 points wide.
    template <typename Sidebar>
    Sidebar *place(Sidebar *sidebar) {
        sidebar->setFixedWidth(230);
        static_cast<QHBoxLayout *>(window->layout())->insertWidget(0, sidebar);
        return sidebar;
    }
    // Shows the window, active, at `size`.
    void show(QSize size = QSize(760, 420)) {
        window->resize(size);
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        testing_qt::spinUntil([&] { return window->isActiveWindow(); }, std::chrono::milliseconds(500));
    }
    // Loads `text` and starts the bridge on it.
    void start(const QString &text) {
        storage->setInitialText(text);
        bridge = std::make_unique<TZREngine>();
        bridge->setEditor(link.get());
        bridge->enableUpdating();
        ASSERT_TRUE(settle(*bridge));
    }
    // Waits until the bridge published for the last edit and every list
    // reached the sidebars (whose pauses the test shortened).
    bool settleAll() {
        if (bridge && !settle(*bridge))
            return false;
        if (!drainBackground())
            return false;
        testing_qt::spinFor(std::chrono::milliseconds(80));
        return drainBackground();
    }
    void type(qsizetype at, const QString &text) { storage->replaceCharactersInRange({at, 0}, text); }
    QImage grab(QWidget *widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

}  // namespace sidebartest
