#include "platform/documents/window_controller.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "platform/prefs/defaults.h"
#include "platform/documents/document.h"
#include "platform/documents/window_tabs.h"

namespace platform {

// --- DocumentWindow -----------------------------------------------------------------------

DocumentWindow::DocumentWindow(WindowController *controller) : m_controller(controller) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *holder = new QWidget(this);
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(holder);
}

void DocumentWindow::closeEvent(QCloseEvent *event) {
    if (m_controller && !m_controller->m_closing && !m_controller->windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
}

namespace {

bool isWindowAction(const QString &action) {
    return action == QLatin1String("performMiniaturize:") || action == QLatin1String("performZoom:") ||
           action == QLatin1String("toggleFullScreen:") || WindowTabs::isTabAction(action);
}

}  // namespace

bool DocumentWindow::respondsToAction(const QString &action) const {
    if (isWindowAction(action))
        return true;
    Document *document = m_controller ? m_controller->document() : nullptr;
    // A window without its document still closes.
    return document ? document->respondsToAction(action) : action == QLatin1String("performClose:");
}

void DocumentWindow::performAction(const QString &action, QObject *sender) {
    // A tab is minimized, zoomed and in full screen with its group's window.
    QWidget *top = window();
    if (action == QLatin1String("performMiniaturize:")) {
        top->showMinimized();
        return;
    }
    if (action == QLatin1String("performZoom:")) {
        top->isMaximized() ? top->showNormal() : top->showMaximized();
        return;
    }
    if (action == QLatin1String("toggleFullScreen:")) {
        top->isFullScreen() ? top->showNormal() : top->showFullScreen();
        return;
    }
    if (WindowTabs::isTabAction(action)) {
        WindowTabs::performTabAction(action, this);
        return;
    }
    if (Document *document = m_controller ? m_controller->document() : nullptr)
        document->performAction(action, sender);
    else if (action == QLatin1String("performClose:"))
        close();
}

bool DocumentWindow::validateAction(const QString &action, QAction *item) {
    if (WindowTabs::isTabAction(action))
        return WindowTabs::validateTabAction(action, this);
    if (isWindowAction(action))
        return true;
    Document *document = m_controller ? m_controller->document() : nullptr;
    return document ? document->validateAction(action, item) : true;
}

void DocumentWindow::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_controller)
        m_controller->fullScreenChanged();
    if (event->type() == QEvent::ParentChange && m_controller)
        m_controller->topLevelChanged();
}

void DocumentWindow::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    if (m_controller)
        m_controller->frameChanged();
}

void DocumentWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    if (m_controller)
        m_controller->frameChanged();
}

// --- WindowController ---------------------------------------------------------------------

WindowController::WindowController(QObject *parent) : QObject(parent) {}

WindowController::~WindowController() { delete m_window.data(); }

QMainWindow *WindowController::window() {
    if (!m_window) {
        m_window = new DocumentWindow(this);
        m_window->resize(900, 700);
    }
    if (!m_loaded) {
        m_loaded = true;
        windowDidLoad();
        synchronizeWindowTitleWithDocumentName();
    }
    return m_window;
}

void WindowController::setDocument(Document *document) {
    disconnect(m_nameConnection);
    disconnect(m_editedConnection);
    disconnect(m_problemConnection);
    m_document = document;
    if (document) {
        m_nameConnection = connect(document, &Document::displayNameChanged, this,
                                   [this] { synchronizeWindowTitleWithDocumentName(); });
        m_editedConnection = connect(document, &Document::editedChanged, this,
                                     [this] { synchronizeWindowTitleWithDocumentName(); });
        m_problemConnection = connect(document, &Document::savingProblemChanged, this,
                                      [this] { synchronizeWindowTitleWithDocumentName(); });
    }
    if (m_window)
        synchronizeWindowTitleWithDocumentName();
}

void WindowController::setContentWidget(QWidget *content) {
    QWidget *holder = window()->centralWidget();
    QLayout *layout = holder->layout();
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *old = item->widget())
            old->deleteLater();
        delete item;
    }
    if (content)
        layout->addWidget(content);
}

QWidget *WindowController::contentWidget() const {
    if (!m_window)
        return nullptr;
    QLayoutItem *item = m_window->centralWidget()->layout()->itemAt(0);
    return item ? item->widget() : nullptr;
}

void WindowController::synchronizeWindowTitleWithDocumentName() {
    if (!m_window)
        return;
    QString title;
    if (m_document) {
        title = m_document->displayName() + QStringLiteral("[*]");
        // Edits that are not being saved by themselves.
        if (!m_document->savingProblem().isEmpty())
            title += QStringLiteral(" — Not Saved");
    }
    m_window->setWindowTitle(title);
    m_window->setWindowModified(m_document && m_document->isDocumentEdited());
}

// --- Frames -----------------------------------------------------------------------------

namespace {

// What the window manager draws around a window on screen; nothing known
// before it is shown.
QMargins decorationsOf(const QWidget *window) {
    if (!window || !window->isVisible())
        return {};
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// A document's window on screen: one of its own, or a tab group's that
// holds documents as tabs.
bool isDocumentWindow(const QWidget *window) {
    return qobject_cast<const DocumentWindow *>(window) || WindowTabs::isGroupWindow(window);
}

}  // namespace

QString WindowController::frameKey(const QString &name) {
    return Defaults::keyForPath(u"NSWindow Frame %@", name);
}

QString WindowController::frameString(const QRect &frame) {
    return QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height());
}

std::optional<QRect> WindowController::frameFromString(const QString &text) {
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.size() < 4)
        return std::nullopt;
    int numbers[4];
    for (int i = 0; i < 4; i++) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0)
        return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

bool WindowController::setFrameUsingName(const QString &name) {
    const std::optional<QRect> frame =
        frameFromString(Defaults::standard().stringForKey(frameKey(name)));
    if (!frame)
        return false;
    // A tab has its group's frame: the group window does not move for it.
    if (m_groupWindow)
        return true;
    // A frame kept on a screen that is gone, or that is smaller now, comes
    // back within the screen it stands on (or this window's).
    QScreen *screen = QGuiApplication::screenAt(frame->center());
    if (!screen)
        screen = window()->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    window()->setGeometry(fittedFrame(*frame, available, decorationsOf(window())));
    return true;
}

void WindowController::saveFrameUsingName(const QString &name) {
    if (name.isEmpty() || !m_window)
        return;
    // A tab keeps its group window's frame, and only while it is in front.
    QWidget *framed = m_groupWindow ? m_groupWindow.data() : m_window.data();
    if (m_groupWindow && m_window->isHidden())
        return;
    Defaults::standard().setObject(
        frameString(framed->normalGeometry().isValid() ? framed->normalGeometry() : framed->geometry()),
        frameKey(name));
}

void WindowController::setFrameAutosaveName(const QString &name) {
    if (name == m_autosaveName)
        return;
    m_autosaveName.clear();  // no saving under the old name while the frame changes
    if (!name.isEmpty())
        setFrameUsingName(name);
    m_autosaveName = name;
}

void WindowController::frameChanged() {
    if (!m_autosaveName.isEmpty() && !m_closing && !isFullScreen() && m_window && m_window->isVisible())
        saveFrameUsingName(m_autosaveName);
}

bool WindowController::isFullScreen() const { return m_window && m_window->window()->isFullScreen(); }

QSize WindowController::willUseFullScreenContentSize(QSize proposed) const { return proposed; }

void WindowController::fullScreenChanged() {
    QWidget *content = contentWidget();
    if (!content)
        return;
    QLayout *layout = m_window->centralWidget()->layout();
    if (isFullScreen()) {
        const QSize size = willUseFullScreenContentSize(m_window->window()->size());
        content->setMaximumWidth(size.width());
        layout->setAlignment(content, Qt::AlignHCenter);
    } else {
        content->setMaximumWidth(QWIDGETSIZE_MAX);
        layout->setAlignment(content, Qt::Alignment());
    }
}

// --- Life -------------------------------------------------------------------------------

QRect WindowController::fittedFrame(QRect frame, const QRect &available, const QMargins &decorations) {
    if (available.isEmpty())
        return frame;
    const QRect inside = available.marginsRemoved(decorations);
    frame.setWidth(std::max(1, std::min(frame.width(), inside.width())));
    frame.setHeight(std::max(1, std::min(frame.height(), inside.height())));
    frame.moveLeft(
        std::clamp(frame.left(), inside.left(), std::max(inside.left(), inside.right() - frame.width() + 1)));
    frame.moveTop(std::clamp(frame.top(), inside.top(), std::max(inside.top(), inside.bottom() - frame.height() + 1)));
    return frame;
}

QRect WindowController::cascadedFrame(const QRect &frame, const QList<QPoint> &occupied, const QRect &available,
                                      const QMargins &decorations) {
    const auto taken = [&occupied](const QPoint &point) {
        return std::any_of(occupied.begin(), occupied.end(), [&point](const QPoint &other) {
            return (other - point).manhattanLength() < kCascadeStep / 2;
        });
    };
    QRect placed = fittedFrame(frame, available, decorations);
    if (available.isEmpty())
        return placed;
    const QRect inside = available.marginsRemoved(decorations);
    // A cascade that reaches the bottom starts again at the top, one step
    // further right each time, so that it never covers one of its own.
    int restarts = 0;
    for (int step = 0; step < kLongestCascade && taken(placed.topLeft()); step++) {
        QRect next = placed.translated(kCascadeStep, kCascadeStep);
        if (!inside.contains(next)) {
            next.moveTopLeft(inside.topLeft() + QPoint(++restarts * kCascadeStep, 0));
            if (!inside.contains(next)) {
                restarts = 0;
                next.moveTopLeft(inside.topLeft());
            }
        }
        placed = fittedFrame(next, available, decorations);
    }
    return placed;
}

namespace {

// How often, and how many times, a window just shown is looked at until it
// is on screen.
constexpr int kFrameLookMs = 20;
constexpr int kFrameLooks = 500;

// A shown window's frame (title bar included) moved, and shrunk if it must
// be, within the available geometry of the screen that holds most of it.
void moveFrameOnScreen(QWidget *window) {
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    const QRect frame = window->frameGeometry();
    QScreen *screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = window->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    if (available.isEmpty() || available.contains(frame))
        return;
    window->setGeometry(WindowController::fittedFrame(window->geometry(), available, decorationsOf(window)));
}

}  // namespace

void WindowController::keepFrameOnScreen(QWidget *window) {
    if (!window)
        return;
    // The window is on screen, framed and placed by the window manager, only
    // some time after it was shown; the look ends with the window.
    auto *look = new QTimer(window);
    look->setInterval(kFrameLookMs);
    connect(look, &QTimer::timeout, window, [window, look, looks = 0]() mutable {
        const QWindow *handle = window->windowHandle();
        const bool shown = window->isVisible() && handle && handle->isExposed();
        if (!shown && ++looks < kFrameLooks)
            return;
        look->stop();
        look->deleteLater();
        if (shown)
            moveFrameOnScreen(window);
    });
    look->start();
}

void WindowController::placeOnScreen() {
    QMainWindow *placed = window();
    if (placed->isVisible() || placed->isFullScreen() || placed->isMaximized())
        return;
    // The other document windows on screen: where they stand, and the
    // decorations the window manager gives such a window.
    QList<QPoint> occupied;
    QMargins decorations;
    QWidget *anchor = QApplication::activeWindow();
    for (QWidget *other : QApplication::topLevelWidgets()) {
        if (other == placed || !other->isVisible() || other->isMinimized() || !isDocumentWindow(other))
            continue;
        occupied.append(other->geometry().topLeft());
        decorations = decorationsOf(other);
        if (!isDocumentWindow(anchor))
            anchor = other;
    }
    if (!isDocumentWindow(anchor) || anchor == placed)
        anchor = nullptr;
    QScreen *screen = anchor ? anchor->screen() : QGuiApplication::screenAt(placed->geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    QRect frame = placed->geometry();
    if (!placed->testAttribute(Qt::WA_Moved)) {
        // No place of its own yet: the window manager chooses one, unless
        // the window would not fit the screen, or other windows are open
        // (it then goes a step from the one in front).
        if (!anchor) {
            const QRect inside = available.marginsRemoved(decorations);
            if (!available.isEmpty() && (frame.width() > inside.width() || frame.height() > inside.height()))
                placed->setGeometry(fittedFrame(QRect(inside.topLeft(), frame.size()), available, decorations));
            return;
        }
        frame.moveTopLeft(anchor->geometry().topLeft());
    }
    const QRect cascaded = cascadedFrame(frame, occupied, available, decorations);
    if (cascaded != placed->geometry())
        placed->setGeometry(cascaded);
}

void WindowController::topLevelChanged() {
    QWidget *group = m_window && m_window->window() != m_window ? m_window->window() : nullptr;
    if (group == m_groupWindow)
        return;
    if (m_groupWindow)
        m_groupWindow->removeEventFilter(this);
    m_groupWindow = group;
    if (group)
        group->installEventFilter(this);
    fullScreenChanged();
}

bool WindowController::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_groupWindow) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            frameChanged();
            break;
        case QEvent::WindowStateChange:
            fullScreenChanged();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowController::showWindow() {
    // A tab stands where its group window does; a window that joins one
    // as it shows takes the group's frame.
    if (!m_groupWindow)
        placeOnScreen();
    WindowTabs::orderFront(window());
}

void WindowController::windowDidLoad() {}

void WindowController::windowWillClose() {}

bool WindowController::windowShouldClose() {
    if (!m_document) {
        // Nobody to ask: the window closes as closeWindow() would close it.
        windowWillClose();
        return true;
    }
    if (!m_document->canClose())
        return false;
    // The document closes its windows, this one among them.
    m_document->close();
    return true;
}

void WindowController::closeWindow() {
    if (m_closing)
        return;
    windowWillClose();
    m_closing = true;
    if (m_window)
        m_window->close();
}

}  // namespace platform
