#include "app/help/kvx_static_web_window_controller.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <mutex>

#include "app/app_log.h"
#include "platform/documents/document.h"
#include "platform/documents/window_controller.h"
#include "platform/prefs/defaults.h"
#include "platform/text/hex_color.h"
#include "platform/web/web_content_guard.h"
#include "platform/files/workspace.h"

// Outside any namespace, as Qt asks: the pages live in this static library.
static void initGuideResources() { Q_INIT_RESOURCE(guides); }

namespace {

std::function<bool(const QUrl &)> &browserOpener() {
    static std::function<bool(const QUrl &)> opener;
    return opener;
}

// The guide window: closing hides it (it is made once and shown again).
// Its controller hears of every move and resize, and of the hiding.
class GuideWindow : public QMainWindow, public platform::Responder {
public:
    explicit GuideWindow(std::function<void()> frameChanged) : m_frameChanged(std::move(frameChanged)) {}

    bool respondsToAction(const QString &action) const override {
        return action == QLatin1String("performClose:") || action == QLatin1String("performMiniaturize:");
    }
    void performAction(const QString &action, QObject *) override {
        if (action == QLatin1String("performClose:"))
            close();
        else
            showMinimized();
    }

protected:
    void closeEvent(QCloseEvent *event) override {
        event->ignore();
        m_frameChanged();
        hide();
    }
    void moveEvent(QMoveEvent *event) override {
        QMainWindow::moveEvent(event);
        m_frameChanged();
    }
    void resizeEvent(QResizeEvent *event) override {
        QMainWindow::resizeEvent(event);
        m_frameChanged();
    }

private:
    std::function<void()> m_frameChanged;
};

}  // namespace

// The page puts every navigation it did not start itself to the view.
class KVXStaticWebView::Page : public QWebEnginePage {
public:
    Page(KVXStaticWebView *view) : QWebEnginePage(view), m_view(view) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        if (!isMainFrame || type == NavigationTypeTyped || type == NavigationTypeReload ||
            type == NavigationTypeBackForward)
            return true;
        // Only a link goes to the browser; a form or a refresh to another
        // site goes nowhere.
        if (type != NavigationTypeLinkClicked && !url.host().isEmpty())
            return false;
        return m_view->decidePolicyForNavigation(url);
    }
    // Links that ask for a window of their own go through the same rule.
    QWebEnginePage *createWindow(WebWindowType) override {
        auto *catcher = new QWebEnginePage(this);
        connect(catcher, &QWebEnginePage::urlChanged, this, [this, catcher](const QUrl &url) {
            m_view->decidePolicyForNavigation(url);
            catcher->deleteLater();
        });
        return catcher;
    }

private:
    KVXStaticWebView *m_view;
};

KVXStaticWebView::KVXStaticWebView(QWidget *parent) : QWebEngineView(parent) {
    auto *page = new Page(this);
    // The guides are the program's own pages, but on the profile the preview
    // shares: it keeps the same guard.
    platform::WebContentGuard::protect(page->profile());
    page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    setPage(page);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QWebEngineView::loadFinished, this, &KVXStaticWebView::pageLoaded);
}

void KVXStaticWebView::setBrowserOpener(std::function<bool(const QUrl &)> opener) {
    browserOpener() = std::move(opener);
}

QString KVXStaticWebView::pagePathForTitle(const QString &windowTitle) {
    static std::once_flag loaded;
    std::call_once(loaded, initGuideResources);
    if (windowTitle == KVXStaticWebWindowController::syntaxGuideTitle())
        return QStringLiteral(":/guides/index.html");
    if (windowTitle == KVXStaticWebWindowController::programGuideTitle())
        return QStringLiteral(":/guides/orvane-guide/main.html");
    return QString();
}

bool KVXStaticWebView::awakeFromNib(const QString &windowTitle) {
    const QString path = pagePathForTitle(windowTitle);
    if (path.isEmpty())
        return false;
    if (windowTitle == KVXStaticWebWindowController::programGuideTitle()) {
        const QColor background = platform::HexColor::colorWithHexString(QStringLiteral("ddd"));
        page()->setBackgroundColor(Qt::transparent);
        if (QWidget *top = window()) {
            QPalette palette = top->palette();
            palette.setColor(QPalette::Window, background);
            top->setPalette(palette);
            top->setAutoFillBackground(true);
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcApp).noquote() << QStringLiteral("The guide page %1 cannot be read.").arg(path);
        return false;
    }
    // Relative links and pictures resolve inside the guide's folder.
    m_baseUrl = QUrl(QStringLiteral("qrc") + QFileInfo(path).path() + QLatin1Char('/'));
    setHtml(QString::fromUtf8(file.readAll()), m_baseUrl);
    return true;
}

bool KVXStaticWebView::decidePolicyForNavigation(const QUrl &url) {
    if (url.host().isEmpty())
        return true;
    if (browserOpener())
        browserOpener()(url);
    else
        platform::Workspace::openExternally(url);
    return false;
}

void KVXStaticWebView::scaleBy(double factor) { setZoomFactor(std::clamp(zoomFactor() * factor, 0.25, 5.0)); }

bool KVXStaticWebView::respondsToAction(const QString &action) const {
    return action == QLatin1String("zoomIn:") || action == QLatin1String("zoomOut:");
}

void KVXStaticWebView::performAction(const QString &action, QObject *) {
    action == QLatin1String("zoomIn:") ? zoomIn() : zoomOut();
}

KVXStaticWebWindowController::KVXStaticWebWindowController(const QString &title, QObject *parent)
    : QObject(parent), m_title(title) {}

KVXStaticWebWindowController::~KVXStaticWebWindowController() { delete m_window; }

QString KVXStaticWebWindowController::frameAutosaveNameForTitle(const QString &title) {
    return title == syntaxGuideTitle() ? QStringLiteral("--TZR Syntax Guide Window Frame") : QString();
}

QMainWindow *KVXStaticWebWindowController::window() {
    if (!m_window) {
        m_window = new GuideWindow([this] { saveFrame(); });
        m_window->setObjectName(windowNibName());
        m_window->setWindowTitle(m_title);
        m_window->resize(820, 900);
        m_view = new KVXStaticWebView(m_window);
        m_window->setCentralWidget(m_view);
        m_view->awakeFromNib(m_title);
        restoreFrame();
    }
    return m_window;
}

// The frame kept under the autosave name, as document windows take theirs:
// one kept on a screen that is gone comes back onto this one.
void KVXStaticWebWindowController::restoreFrame() {
    const QString name = frameAutosaveName();
    if (name.isEmpty())
        return;
    const std::optional<QRect> frame = platform::WindowController::frameFromString(
        platform::Defaults::standard().stringForKey(platform::WindowController::frameKey(name)));
    if (!frame)
        return;
    QRect placed = *frame;
    if (QScreen *screen = m_window->screen()) {
        const QRect available = screen->availableGeometry();
        if (!available.isEmpty() && !available.intersects(placed))
            placed.moveTopLeft(available.topLeft());
    }
    m_restoring = true;
    m_window->setGeometry(placed);
    m_restoring = false;
}

void KVXStaticWebWindowController::saveFrame() {
    const QString name = frameAutosaveName();
    // Only the frame the user sees is kept: not the one the window is given
    // while it is made, nor a full-screen or minimized one.
    if (name.isEmpty() || m_restoring || !m_window || !m_window->isVisible() || m_window->isFullScreen() ||
        m_window->isMinimized())
        return;
    const QRect frame = m_window->normalGeometry().isValid() ? m_window->normalGeometry() : m_window->geometry();
    platform::Defaults::standard().setObject(platform::WindowController::frameString(frame),
                                             platform::WindowController::frameKey(name));
}

KVXStaticWebView *KVXStaticWebWindowController::webView() {
    window();
    return m_view;
}

void KVXStaticWebWindowController::showWindow() {
    window()->show();
    m_window->raise();
    m_window->activateWindow();
}

void KVXStaticWebWindowController::toggleVisibility() {
    if (window()->isVisible())
        m_window->hide();
    else
        showWindow();
}
