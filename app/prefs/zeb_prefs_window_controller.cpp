#include "app/prefs/zeb_prefs_window_controller.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QToolBar>
#include <QWidgetAction>

#include <atomic>

#include "platform/prefs/defaults.h"

namespace {

const QString kLastPreferenceIdentifier = QStringLiteral("lastPreferenceIdentifier");
const QString kFlexibleSpace = QStringLiteral("ZebFlexibleSpace");

std::atomic<ZebPrefsWindowController *> s_shared{nullptr};

}  // namespace

// The window: Command-W (Ctrl+W) closes it, as it does every window.
class ZebPrefsWindowController::Window : public QMainWindow {
public:
    using QMainWindow::QMainWindow;

protected:
    void keyPressEvent(QKeyEvent *event) override {
        if (event->key() == Qt::Key_W &&
            (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            close();
            return;
        }
        QMainWindow::keyPressEvent(event);
    }
};

ZebPrefsWindowController *ZebPrefsWindowController::sharedPrefsWindowController(
    const std::function<ZebPrefsWindowController *()> &make) {
    static ZebPrefsWindowController *const shared = [&make] {
        ZebPrefsWindowController *controller = make();
        s_shared = controller;
        return controller;
    }();
    return shared;
}

ZebPrefsWindowController *ZebPrefsWindowController::existingSharedController() { return s_shared; }

ZebPrefsWindowController::ZebPrefsWindowController(platform::Defaults *defaults, QObject *parent)
    : QObject(parent), m_defaults(defaults ? defaults : &platform::Defaults::standard()) {
    m_viewAnimation = new QParallelAnimationGroup(this);
    connect(m_viewAnimation, &QAbstractAnimation::finished, this, [this] { animationDidEnd(); });
}

ZebPrefsWindowController::~ZebPrefsWindowController() {
    m_viewAnimation->stop();
    delete m_window;
}

QMainWindow *ZebPrefsWindowController::window() {
    if (!m_window)
        windowDidLoad();
    return m_window;
}

void ZebPrefsWindowController::windowDidLoad() {
    auto *window = new Window(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                           Qt::WindowCloseButtonHint |
                                           Qt::WindowMinimizeButtonHint);
    window->setObjectName(nibName());
    window->resize(1000, 1000);
    m_contentSubview = new QWidget(window);
    m_contentSubview->setObjectName(QStringLiteral("contentSubview"));
    window->setCentralWidget(m_contentSubview);
    m_window = window;
}

// --- Panes and toolbar items ---------------------------------------------------

void ZebPrefsWindowController::addView(QWidget *view, const QString &label) {
    const QString image = QStringLiteral(":/prefs/%1.png").arg(label);
    addView(view, label, QFile::exists(image) ? QIcon(image) : QIcon());
}

void ZebPrefsWindowController::addView(QWidget *view, const QString &label, const QIcon &image) {
    if (!view)
        return;
    const QString identifier = label;
    m_toolbarViews.insert(identifier, view);
    addToolbarItemForIdentifier(identifier, label, image);
}

void ZebPrefsWindowController::addToolbarItemForIdentifier(const QString &identifier,
                                                          const QString &label, const QIcon &image) {
    m_toolbarIdentifiers.append(identifier);
    QAction *&item = m_itemCache[identifier];
    if (!item) {
        item = new QAction(this);
        item->setObjectName(identifier);
        item->setCheckable(true);
        connect(item, &QAction::triggered, this,
                [this, identifier] { toggleActivePreferenceView(identifier); });
    }
    if (!label.isNull())
        item->setText(label);
    item->setIcon(image);
    m_toolbarItems.insert(identifier, item);
}

void ZebPrefsWindowController::addFlexibleSpacer() {
    m_toolbarIdentifiers.append(kFlexibleSpace);
    QAction *&item = m_itemCache[kFlexibleSpace];
    if (!item) {
        auto *spacer = new QWidgetAction(this);
        auto *widget = new QWidget;
        widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        spacer->setDefaultWidget(widget);
        item = spacer;
    }
    m_toolbarItems.insert(kFlexibleSpace, item);
}

QWidget *ZebPrefsWindowController::viewForIdentifier(const QString &identifier) const {
    return m_toolbarViews.value(identifier);
}

QAction *ZebPrefsWindowController::toolbarItemForIdentifier(const QString &identifier) const {
    return m_toolbarItems.value(identifier);
}

QString ZebPrefsWindowController::selectedIdentifier() const {
    QAction *checked = m_toolbarGroup ? m_toolbarGroup->checkedAction() : nullptr;
    return checked ? checked->objectName() : QString();
}

QList<QWidget *> ZebPrefsWindowController::contentSubviews() const {
    QList<QWidget *> views;
    for (const QPointer<QWidget> &view : m_subviews)
        if (view)
            views.append(view);
    return views;
}

// --- Showing -------------------------------------------------------------------

void ZebPrefsWindowController::showWindow() {
    window();
    m_toolbarIdentifiers.clear();
    m_toolbarViews.clear();
    m_toolbarItems.clear();
    setupToolbar();
    if (m_toolbarViews.isEmpty())
        return;
    if (!m_toolbar)
        makeToolbar();

    // A pane that is gone (or was never shown) gives way to the first one.
    QString identifier = m_defaults->stringForKey(kLastPreferenceIdentifier);
    if (!m_toolbarViews.contains(identifier))
        for (const QString &candidate : std::as_const(m_toolbarIdentifiers))
            if (m_toolbarViews.contains(candidate)) {
                identifier = candidate;
                break;
            }
    loadViewForIdentifier(identifier, false);

    if (!m_window->isVisible()) {
        if (QScreen *screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen()) {
            QRect frame = m_window->geometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_window->setGeometry(frame);
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void ZebPrefsWindowController::makeToolbar() {
    m_toolbar = new QToolBar(m_window);
    m_toolbar->setObjectName(QStringLiteral("ZebPreferencesToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolbar->toggleViewAction()->setVisible(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbarGroup = new QActionGroup(m_toolbar);
    m_toolbarGroup->setExclusive(true);
    for (const QString &identifier : std::as_const(m_toolbarIdentifiers)) {
        QAction *item = m_toolbarItems.value(identifier);
        m_toolbar->addAction(item);
        if (item->isCheckable())
            m_toolbarGroup->addAction(item);
    }
    m_window->addToolBar(Qt::TopToolBarArea, m_toolbar);
}

void ZebPrefsWindowController::selectToolbarIdentifier(const QString &identifier) {
    if (QAction *item = m_itemCache.value(identifier); item && item->isCheckable())
        item->setChecked(true);
}

void ZebPrefsWindowController::toggleActivePreferenceView(const QString &identifier) {
    displayViewForIdentifier(identifier, true);
}

void ZebPrefsWindowController::loadViewForIdentifier(const QString &identifier, bool animate) {
    selectToolbarIdentifier(identifier);
    displayViewForIdentifier(identifier, animate);
}

void ZebPrefsWindowController::displayViewForIdentifier(const QString &identifier, bool animate) {
    window();
    QWidget *newView = m_toolbarViews.value(identifier);
    if (!newView)
        return;
    m_subviews.removeAll(nullptr);
    QWidget *oldView = m_subviews.isEmpty() ? nullptr : m_subviews.last().data();
    while (m_subviews.size() > 1)
        removeSubview(m_subviews.first());

    if (newView != oldView) {
        // The pane goes at the top of the holder, at its own size.
        newView->setGraphicsEffect(nullptr);
        newView->setParent(m_contentSubview);
        newView->resize(newView->size().isEmpty() ? newView->sizeHint() : newView->size());
        newView->move(0, 0);
        newView->show();
        m_subviews.append(newView);
        newView->setFocus(Qt::OtherFocusReason);

        if (animate && m_crossFade && oldView) {
            crossFadeView(oldView, newView);
        } else {
            if (oldView)
                removeSubview(oldView);
            const QRect frame = frameForView(newView);
            m_viewAnimation->stop();
            m_viewAnimation->clear();
            if (animate) {
                auto *move = new QPropertyAnimation(m_window, "geometry");
                move->setDuration(kCrossFadeMsec);
                move->setEasingCurve(QEasingCurve::InOutQuad);
                move->setStartValue(m_window->geometry());
                move->setEndValue(frame);
                m_viewAnimation->addAnimation(move);
                m_viewAnimation->start();
            } else {
                m_window->setGeometry(frame);
            }
        }
        if (QAction *item = m_toolbarItems.value(identifier))
            m_window->setWindowTitle(item->text());
    }
    m_defaults->setObject(identifier, kLastPreferenceIdentifier);
}

void ZebPrefsWindowController::removeSubview(QWidget *view) {
    m_subviews.removeAll(view);
    if (view) {
        view->hide();
        view->setGraphicsEffect(nullptr);
    }
}

int ZebPrefsWindowController::barHeight() const {
    if (QLayout *layout = m_window->layout())
        layout->activate();
    const int bar = m_window->height() - m_contentSubview->height();
    if (bar >= 0 && m_contentSubview->height() > 0)
        return bar;
    return m_toolbar ? m_toolbar->sizeHint().height() : 0;
}

QRect ZebPrefsWindowController::frameForView(QWidget *view) const {
    const QRect old = m_window->geometry();
    const QSize size = view->size();
    return QRect(old.left(), old.top(), size.width(), size.height() + barHeight());
}

// --- Cross-fade ----------------------------------------------------------------

void ZebPrefsWindowController::crossFadeView(QWidget *oldView, QWidget *newView) {
    m_viewAnimation->stop();
    m_viewAnimation->clear();
    const bool slow = m_shiftSlowsAnimation && (currentModifiers() & Qt::ShiftModifier);
    const int duration = slow ? kSlowCrossFadeMsec : kCrossFadeMsec;

    auto fade = [this, duration](QWidget *view, qreal from, qreal to) {
        auto *effect = new QGraphicsOpacityEffect(view);
        effect->setOpacity(from);
        view->setGraphicsEffect(effect);
        auto *animation = new QPropertyAnimation(effect, "opacity");
        animation->setDuration(duration);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        animation->setStartValue(from);
        animation->setEndValue(to);
        m_viewAnimation->addAnimation(animation);
    };
    fade(oldView, 1.0, 0.0);
    fade(newView, 0.0, 1.0);
    auto *move = new QPropertyAnimation(m_window, "geometry");
    move->setDuration(duration);
    move->setEasingCurve(QEasingCurve::InOutQuad);
    move->setStartValue(m_window->geometry());
    move->setEndValue(frameForView(newView));
    m_viewAnimation->addAnimation(move);
    m_viewAnimation->start();
}

void ZebPrefsWindowController::animationDidEnd() {
    m_subviews.removeAll(nullptr);
    while (m_subviews.size() > 1)
        removeSubview(m_subviews.first());
    if (!m_subviews.isEmpty())
        m_subviews.last()->setGraphicsEffect(nullptr);
    if (m_window)
        if (QWidget *focus = m_window->focusWidget())
            focus->clearFocus();
}

Qt::KeyboardModifiers ZebPrefsWindowController::currentModifiers() const {
    return QGuiApplication::keyboardModifiers();
}
