// A preferences window: one pane at a time under a toolbar with a button per
// pane. Changing panes resizes the window to the new pane, keeping its left
// and top edges, with a cross-fade (0.25 s; 1.25 s while Shift is held), and
// the window reopens on the pane shown last ("lastPreferenceIdentifier").
//
// The controller is reusable: a subclass adds its panes in setupToolbar()
// with addView(), which showWindow() calls each time it shows the window.
// Each pane is a widget at its own fixed size (its size hint unless resized).
//
//   class MyPreferences : public ZebPrefsWindowController {
//       void setupToolbar() override { addView(generalPane, "General"); }
//   };
//
// The window's pane holder keeps the shown pane as its last subview; while a
// cross-fade runs it holds the old pane too. Main thread only.
#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <functional>

class QAction;
class QActionGroup;
class QParallelAnimationGroup;
class QToolBar;

namespace platform {
class Defaults;
}

class ZebPrefsWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr int kCrossFadeMsec = 250;
    static constexpr int kSlowCrossFadeMsec = 1250;
    static QString nibName() { return QStringLiteral("Preferences"); }

    // The one preferences controller of the application, made on the first
    // call by `make`; later calls answer that same object, whatever they
    // pass. It is never freed.
    static ZebPrefsWindowController *sharedPrefsWindowController(
        const std::function<ZebPrefsWindowController *()> &make);
    // The shared controller, or null before it is made.
    static ZebPrefsWindowController *existingSharedController();

    // `defaults` holds "lastPreferenceIdentifier" (the standard store when
    // null) and must outlive the controller.
    explicit ZebPrefsWindowController(platform::Defaults *defaults = nullptr,
                                      QObject *parent = nullptr);
    ~ZebPrefsWindowController() override;

    platform::Defaults &defaults() const { return *m_defaults; }

    // The window, made on first use (windowDidLoad runs then).
    QMainWindow *window();
    bool isWindowLoaded() const { return m_window != nullptr; }
    // Builds the panes and the toolbar, then shows the window on the pane
    // last shown (the first one when that pane no longer exists). Nothing is
    // shown when no pane was added.
    virtual void showWindow();

    // Registers `view` under `label` as identifier, with a toolbar item; a
    // null view is skipped. The image is looked for as ":/prefs/LABEL.png"
    // (none when missing).
    void addView(QWidget *view, const QString &label);
    void addView(QWidget *view, const QString &label, const QIcon &image);
    void addToolbarItemForIdentifier(const QString &identifier, const QString &label,
                                     const QIcon &image);
    void addFlexibleSpacer();

    // Selects the identifier's button, then shows its pane.
    void loadViewForIdentifier(const QString &identifier, bool animate);
    void displayViewForIdentifier(const QString &identifier, bool animate);
    // What a toolbar button does: its pane, animated.
    void toggleActivePreferenceView(const QString &identifier);

    // The window's frame (its geometry, toolbar included) for showing `view`:
    // the view's size plus the toolbar's height, the left and top edges kept.
    QRect frameForView(QWidget *view) const;

    // --- State, for the window's users and for tests ------------------------

    QStringList toolbarIdentifiers() const { return m_toolbarIdentifiers; }
    QWidget *viewForIdentifier(const QString &identifier) const;
    QAction *toolbarItemForIdentifier(const QString &identifier) const;
    QToolBar *toolbar() const { return m_toolbar; }
    // The identifier of the pane shown (its button is the selected one).
    QString selectedIdentifier() const;
    // The holder's subviews, the shown pane last.
    QList<QWidget *> contentSubviews() const;
    QWidget *contentSubview() const { return m_contentSubview; }
    QParallelAnimationGroup *viewAnimation() const { return m_viewAnimation; }

    bool crossFade() const { return m_crossFade; }
    void setCrossFade(bool on) { m_crossFade = on; }
    bool shiftSlowsAnimation() const { return m_shiftSlowsAnimation; }
    void setShiftSlowsAnimation(bool on) { m_shiftSlowsAnimation = on; }

protected:
    // Makes the window; subclasses make their panes here too (after calling
    // this one).
    virtual void windowDidLoad();
    // Adds the panes; nothing by default.
    virtual void setupToolbar() {}
    // The modifier keys held now (Shift slows the cross-fade).
    virtual Qt::KeyboardModifiers currentModifiers() const;

    void crossFadeView(QWidget *oldView, QWidget *newView);
    void animationDidEnd();

private:
    class Window;
    void makeToolbar();
    void selectToolbarIdentifier(const QString &identifier);
    void removeSubview(QWidget *view);
    int barHeight() const;

    platform::Defaults *m_defaults;
    QStringList m_toolbarIdentifiers;
    QHash<QString, QPointer<QWidget>> m_toolbarViews;
    QHash<QString, QAction *> m_toolbarItems;
    // Every toolbar item ever made, by identifier: the toolbar is made once
    // and keeps the items it was made with, while each showWindow() registers
    // the panes anew.
    QHash<QString, QAction *> m_itemCache;
    QParallelAnimationGroup *m_viewAnimation = nullptr;
    QPointer<QMainWindow> m_window;
    QWidget *m_contentSubview = nullptr;
    QList<QPointer<QWidget>> m_subviews;
    QToolBar *m_toolbar = nullptr;
    QActionGroup *m_toolbarGroup = nullptr;
    bool m_crossFade = true;
    bool m_shiftSlowsAnimation = true;
};
