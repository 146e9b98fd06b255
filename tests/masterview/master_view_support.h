// Document windows under test on a real display: the preferences of a new
// user, the program's own themes and style sheets as the extras, and a
// window content over a text, shown in a top-level window.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

#include <memory>

#include "editor/editor_interfaces.h"
#include "editor/smart_text_view.h"
#include "platform/runtime/dispatch.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "webview/web_test_support.h"
#include "window/preview/smart_web_view.h"
#include "window/bridge/tzr_engine.h"
#include "window/content/tzr_master_view.h"
#include "window/scrollsync/sync_scroller.h"
#include "window/content/window_extras.h"

namespace masterview_test {

// Themes and style sheets from the source tree's resources.
class ResourceExtras : public WindowExtras {
public:
    ResourceExtras() : m_previous(WindowExtras::shared()) { WindowExtras::setShared(this); }
    ~ResourceExtras() override { WindowExtras::setShared(m_previous); }
    QString filePathForThemeNamed(const QString &name) const override {
        return QStringLiteral(ORVANE_SOURCE_DIR "/resources/themes/") + name + QStringLiteral(".theme");
    }
    QString filePathForCSSNamed(const QString &name) const override {
        return QStringLiteral(ORVANE_SOURCE_DIR "/resources/css/") + name + QStringLiteral(".css");
    }

private:
    WindowExtras *m_previous;
};

// A document that hears what its editor tells it.
class RecordingDocument : public OwningDocument {
public:
    QList<ChangeKind> changes;
    void updateChangeCount(ChangeKind kind) override { changes << kind; }
    bool isSavedText(QByteArrayView) const override { return false; }
    QString filePath() const override { return QString(); }
};

inline void typeText(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        const int key = c == u'\n' ? int(Qt::Key_Return) : c.toUpper().unicode();
        const QString typed = c == u'\n' ? QStringLiteral("\r") : QString(c);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(widget, &release);
    }
}

inline QString artifactPath(const QString &name) {
    QDir dir(QStringLiteral(ORVANE_ARTIFACT_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}

// Waits until no background block runs, serving the main thread meanwhile.
inline bool drainBackground() {
    const bool idle = testing_qt::spinUntil(
        [] { return platform::Dispatch::backgroundPool().activeThreadCount() == 0; }, std::chrono::seconds(30));
    testing_qt::spinFor(std::chrono::milliseconds(10));
    return idle;
}

class MasterViewTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    ResourceExtras extras;
    std::unique_ptr<QWidget> window;
    TZRMasterView *view = nullptr;

    void SetUp() override {
        defaults.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
        defaults.setFloat(13, QStringLiteral("defaultFontSize"));
        defaults.setObject(QStringLiteral("Orvane Light"), QStringLiteral("defaultTheme"));
    }
    void TearDown() override { close(); }

    // A new window over `text` (loaded, not undoable), shown at `size`.
    TZRMasterView *open(const QString &text, QSize size = QSize(1100, 640)) {
        close();
        window = std::make_unique<QWidget>();
        auto *layout = new QHBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        view = new TZRMasterView;
        layout->addWidget(view);
        window->resize(size);
        window->show();
        testing_qt::spinUntil([&] { return window->isVisible() && window->size() == size; });
        view->setText(text, true);
        view->textView()->setSelectedRange({0, 0});
        testing_qt::spinFor(std::chrono::milliseconds(20));
        return view;
    }
    void close() {
        window.reset();
        view = nullptr;
        drainBackground();
    }

    QString text() const { return view->textString(); }
    SmartTextView *editor() const { return view->textView(); }
    void select(qsizetype location, qsizetype length = 0) { editor()->setSelectedRange({location, length}); }
    // Where a view stands in the window.
    QRect placeOf(QWidget *widget) const {
        return QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
    }
    // The preview's text once the preview shows what holds `wanted`.
    bool previewShows(const QString &wanted, int milliseconds = 30000) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
            if (web_test::evaluateText(*view->webView(), QStringLiteral("document.body ? document.body.innerText : ''"))
                    .contains(wanted))
                return true;
            testing_qt::spinFor(std::chrono::milliseconds(100));
        }
        return false;
    }
    void saveScreenshot(const QString &name) {
        window->screen()->grabWindow(window->winId()).save(artifactPath(name), "PNG");
    }
};

}  // namespace masterview_test
