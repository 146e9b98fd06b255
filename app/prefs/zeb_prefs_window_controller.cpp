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
    : QObject(parent), defaults_(defaults ? defaults : &platform::Defaults::standard()) {
    viewAnimation_ = new QParallelAnimationGroup(this);
    connect(viewAnimation_, &QAbstractAnimation::finished, this, [this] { animationDidEnd(); });
}

ZebPrefsWindowController::~ZebPrefsWindowController() {
    viewAnimation_->stop();
    delete window_;
}

QMainWindow *ZebPrefsWindowController::window() {
    if (!window_)
        windowDidLoad();
    return window_;
}

void ZebPrefsWindowController::windowDidLoad() {
    auto *window = new Window(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                           Qt::WindowCloseButtonHint |
                                           Qt::WindowMinimizeButtonHint);
    window->setObjectName(nibName());
    window->resize(1000, 1000);
    contentSubview_ = new QWidget(window);
    contentSubview_->setObjectName(QStringLiteral("contentSubview"));
    window->setCentralWidget(contentSubview_);
    window_ = window;
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
    toolbarViews_.insert(identifier, view);
    addToolbarItemForIdentifier(identifier, label, image);
}

void ZebPrefsWindowController::addToolbarItemForIdentifier(const QString &identifier,
                                                          const QString &label, const QIcon &image) {
    toolbarIdentifiers_.append(identifier);
    QAction *&item = itemCache_[identifier];
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
    toolbarItems_.insert(identifier, item);
}

void ZebPrefsWindowController::addFlexibleSpacer() {
    toolbarIdentifiers_.append(kFlexibleSpace);
    QAction *&item = itemCache_[kFlexibleSpace];
    if (!item) {
        auto *spacer = new QWidgetAction(this);
        auto *widget = new QWidget;
        widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        spacer->setDefaultWidget(widget);
        item = spacer;
    }
    toolbarItems_.insert(kFlexibleSpace, item);
}

QWidget *ZebPrefsWindowController::viewForIdentifier(const QString &identifier) const {
    return toolbarViews_.value(identifier);
}

QAction *ZebPrefsWindowController::toolbarItemForIdentifier(const QString &identifier) const {
    return toolbarItems_.value(identifier);
}

QString ZebPrefsWindowController::selectedIdentifier() const {
    QAction *checked = toolbarGroup_ ? toolbarGroup_->checkedAction() : nullptr;
    return checked ? checked->objectName() : QString();
}

QList<QWidget *> ZebPrefsWindowController::contentSubviews() const {
    QList<QWidget *> views;
    for (const QPointer<QWidget> &view : subviews_)
        if (view)
            views.append(view);
    return views;
}

// --- Showing -------------------------------------------------------------------

void ZebPrefsWindowController::showWindow() {
    window();
    toolbarIdentifiers_.clear();
    toolbarViews_.clear();
    toolbarItems_.clear();
    setupToolbar();
    if (toolbarViews_.isEmpty())
        return;
    if (!toolbar_)
        makeToolbar();

    // A pane that is gone (or was never shown) gives way to the first one.
    QString identifier = defaults_->stringForKey(kLastPreferenceIdentifier);
    if (!toolbarViews_.contains(identifier))
        for (const QString &candidate : std::as_const(toolbarIdentifiers_))
            if (toolbarViews_.contains(candidate)) {
                identifier = candidate;
                break;
            }
    loadViewForIdentifier(identifier, false);

    if (!window_->isVisible()) {
        if (QScreen *screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen()) {
            QRect frame = window_->geometry();
            frame.moveCenter(screen->availableGeometry().center());
            window_->setGeometry(frame);
        }
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void ZebPrefsWindowController::makeToolbar() {
    toolbar_ = new QToolBar(window_);
    toolbar_->setObjectName(QStringLiteral("ZebPreferencesToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar_->toggleViewAction()->setVisible(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbarGroup_ = new QActionGroup(toolbar_);
    toolbarGroup_->setExclusive(true);
    for (const QString &identifier : std::as_const(toolbarIdentifiers_)) {
        QAction *item = toolbarItems_.value(identifier);
        toolbar_->addAction(item);
        if (item->isCheckable())
            toolbarGroup_->addAction(item);
    }
    window_->addToolBar(Qt::TopToolBarArea, toolbar_);
}

void ZebPrefsWindowController::selectToolbarIdentifier(const QString &identifier) {
    if (QAction *item = itemCache_.value(identifier); item && item->isCheckable())
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
    QWidget *newView = toolbarViews_.value(identifier);
    if (!newView)
        return;
    subviews_.removeAll(nullptr);
    QWidget *oldView = subviews_.isEmpty() ? nullptr : subviews_.last().data();
    while (subviews_.size() > 1)
        removeSubview(subviews_.first());

    if (newView != oldView) {
        // The pane goes at the top of the holder, at its own size.
        newView->setGraphicsEffect(nullptr);
        newView->setParent(contentSubview_);
        newView->resize(newView->size().isEmpty() ? newView->sizeHint() : newView->size());
        newView->move(0, 0);
        newView->show();
        subviews_.append(newView);
        newView->setFocus(Qt::OtherFocusReason);

        if (animate && crossFade_ && oldView) {
            crossFadeView(oldView, newView);
        } else {
            if (oldView)
                removeSubview(oldView);
            const QRect frame = frameForView(newView);
            viewAnimation_->stop();
            viewAnimation_->clear();
            if (animate) {
                auto *move = new QPropertyAnimation(window_, "geometry");
                move->setDuration(kCrossFadeMsec);
                move->setEasingCurve(QEasingCurve::InOutQuad);
                move->setStartValue(window_->geometry());
                move->setEndValue(frame);
                viewAnimation_->addAnimation(move);
                viewAnimation_->start();
            } else {
                window_->setGeometry(frame);
            }
        }
        if (QAction *item = toolbarItems_.value(identifier))
            window_->setWindowTitle(item->text());
    }
    defaults_->setObject(identifier, kLastPreferenceIdentifier);
}

void ZebPrefsWindowController::removeSubview(QWidget *view) {
    subviews_.removeAll(view);
    if (view) {
        view->hide();
        view->setGraphicsEffect(nullptr);
    }
}

int ZebPrefsWindowController::barHeight() const {
    if (QLayout *layout = window_->layout())
        layout->activate();
    const int bar = window_->height() - contentSubview_->height();
    if (bar >= 0 && contentSubview_->height() > 0)
        return bar;
    return toolbar_ ? toolbar_->sizeHint().height() : 0;
}

QRect ZebPrefsWindowController::frameForView(QWidget *view) const {
    const QRect old = window_->geometry();
    const QSize size = view->size();
    return QRect(old.left(), old.top(), size.width(), size.height() + barHeight());
}

// --- Cross-fade ----------------------------------------------------------------

void ZebPrefsWindowController::crossFadeView(QWidget *oldView, QWidget *newView) {
    viewAnimation_->stop();
    viewAnimation_->clear();
    const bool slow = shiftSlowsAnimation_ && (currentModifiers() & Qt::ShiftModifier);
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
        viewAnimation_->addAnimation(animation);
    };
    fade(oldView, 1.0, 0.0);
    fade(newView, 0.0, 1.0);
    auto *move = new QPropertyAnimation(window_, "geometry");
    move->setDuration(duration);
    move->setEasingCurve(QEasingCurve::InOutQuad);
    move->setStartValue(window_->geometry());
    move->setEndValue(frameForView(newView));
    viewAnimation_->addAnimation(move);
    viewAnimation_->start();
}

void ZebPrefsWindowController::animationDidEnd() {
    subviews_.removeAll(nullptr);
    while (subviews_.size() > 1)
        removeSubview(subviews_.first());
    if (!subviews_.isEmpty())
        subviews_.last()->setGraphicsEffect(nullptr);
    if (window_)
        if (QWidget *focus = window_->focusWidget())
            focus->clearFocus();
}

Qt::KeyboardModifiers ZebPrefsWindowController::currentModifiers() const {
    return QGuiApplication::keyboardModifiers();
}
