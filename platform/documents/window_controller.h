// A document's window and what keeps it: its content, its frame remembered
// in the preferences under an autosave name ("NSWindow Frame %@"), its title
// from the document's name and edited state, and the question to the
// document when the user closes it. A window opens within the available
// geometry of its screen, its whole frame (the window manager's title bar
// included) once it is framed, a step down and right from the document
// window it would otherwise cover.
//
// A window may be a tab of a tab group (WindowTabs): its frame is then the
// group window's, which it keeps under its autosave name only while it is
// the selected tab, and which a frame it takes does not move.
#pragma once

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

#include "platform/runtime/action_router.h"

namespace platform {

class Document;
class WindowController;

// The window itself: a main window whose closing goes through its
// controller, and whose content may be narrower than the screen in full
// screen. In the chain of responders it stands for its document (the File
// menu's commands reach the document of the window they are sent in) and
// performs the window's own commands: close, minimize, zoom, full screen
// (of its tab group's window when it is a tab), and the tab commands.
class DocumentWindow : public QMainWindow, public Responder {
    Q_OBJECT
public:
    explicit DocumentWindow(WindowController *controller);
    WindowController *controller() const { return m_controller; }

    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    bool validateAction(const QString &action, QAction *item) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPointer<WindowController> m_controller;
};

class WindowController : public QObject {
    Q_OBJECT
public:
    explicit WindowController(QObject *parent = nullptr);
    ~WindowController() override;

    // The window, made with the controller; windowDidLoad runs on first use.
    QMainWindow *window();
    Document *document() const { return m_document; }
    void setDocument(Document *document);

    // The window's content (owned by the window from now on).
    void setContentWidget(QWidget *content);
    QWidget *contentWidget() const;

    // --- Frames --------------------------------------------------------------------

    // The name the frame is kept under; setting it takes the frame kept
    // under the new name, when there is one, and keeps the frame there from
    // now on (moves, resizes, closing).
    QString frameAutosaveName() const { return m_autosaveName; }
    void setFrameAutosaveName(const QString &name);
    // Takes the frame kept under `name`; false when none is kept.
    bool setFrameUsingName(const QString &name);
    void saveFrameUsingName(const QString &name);
    static QString frameKey(const QString &name);
    // Frames as they are kept: "x y width height".
    static QString frameString(const QRect &frame);
    static std::optional<QRect> frameFromString(const QString &text);

    // --- Placing on screen ------------------------------------------------------------

    // New windows step down and right from one another by this much.
    static constexpr int kCascadeStep = 24;
    // The most places a cascade tries before it settles on one.
    static constexpr int kLongestCascade = 4096;
    // `frame` (a window's geometry, without the decorations the window
    // manager adds around it) made no larger than `available` (a screen's
    // available geometry) with its decorations, and moved inside it.
    static QRect fittedFrame(QRect frame, const QRect &available, const QMargins &decorations);
    // `frame` fitted, then stepped down and right while another window's
    // geometry stands at its top left (`occupied`); where a step would leave
    // `available`, the cascade starts again at its top, a step further right.
    static QRect cascadedFrame(const QRect &frame, const QList<QPoint> &occupied, const QRect &available,
                               const QMargins &decorations);
    // For a window just shown: once it is on screen, framed by the window
    // manager, a frame (title bar included) that leaves the available
    // geometry of its screen is moved, and shrunk if it must be, into it. A
    // window whose title bar is off the screen cannot be dragged, and where
    // a window goes before it is framed is a guess: how tall the title bar
    // is, the window manager alone knows.
    static void keepFrameOnScreen(QWidget *window);

    bool isFullScreen() const;
    // The content size the window uses in full screen, given the screen's
    // size; the base keeps it.
    virtual QSize willUseFullScreenContentSize(QSize proposed) const;

    // --- Life ------------------------------------------------------------------------

    // Shows the window in front, active: as a tab of the front window's
    // group when its tabbing mode asks for it (WindowTabs::orderFront).
    void showWindow();
    // Closes the window without asking anybody.
    void closeWindow();
    // After the window was made (before its first showing).
    virtual void windowDidLoad();
    // While the window closes (by closeWindow(), or by the user when the
    // window has no document; a document closes its windows itself).
    virtual void windowWillClose();

    // The title: the document's name, marked while it holds edits, and
    // "Not Saved" after it while they are not being saved by themselves.
    void synchronizeWindowTitleWithDocumentName();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class DocumentWindow;
    // The user closes the window: the document decides. True when it closes.
    bool windowShouldClose();
    // Before the first showing: the window within its screen's available
    // geometry, cascaded from the document windows on screen.
    void placeOnScreen();
    void frameChanged();
    void fullScreenChanged();
    // The window became a tab of a group window, or left it.
    void topLevelChanged();

    QPointer<DocumentWindow> m_window;
    // The group window that holds the window as a tab.
    QPointer<QWidget> m_groupWindow;
    QPointer<Document> m_document;
    QString m_autosaveName;
    bool m_loaded = false;
    bool m_closing = false;
    QMetaObject::Connection m_nameConnection, m_editedConnection, m_problemConnection;
};

}  // namespace platform
