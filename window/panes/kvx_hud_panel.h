// KVXHUDPanel: a small floating panel (a tool window kept above the
// application's windows, dark in the manner of a heads-up display) holding
// one view, usually the floating-panel form of a sidebar or of the info
// bar, linked to an editor. Its visibility and frame live in the user's
// preferences under keys made from its title ("%@" standing for it):
//
//   "show%@HUD"            the panel is shown
//   "tempShow%@HUD"        a copy of "show%@HUD" kept by the controller
//   "activate%@HUDSearch"  showing the panel makes it active and moves
//                          the focus into it
//   "NSWindow Frame %@ 1"  its frame, "x y width height"
//
// Undo and Redo in the panel act on the linked editor's text; other keys
// that its content leaves alone stop at the panel. It hides while the
// application is in the background unless told otherwise.
#pragma once

#include <QPointer>
#include <QWidget>

class KVXTextView;

class KVXHUDPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kContentSize{230, 300};
    static constexpr QSize kMinimumSize{150, 150};

    explicit KVXHUDPanel(QWidget *parent = nullptr);
    ~KVXHUDPanel() override;

    QString hudTitle() const { return m_hudTitle; }
    // The title shown and the name of every preference key of the panel.
    void setHudTitle(const QString &title);

    // The view the panel holds (it takes ownership; a former one is deleted).
    void setContentView(QWidget *content);
    QWidget *contentView() const { return m_content; }

    KVXTextView *linkedTextView() const;
    // Links `view` (and the content, when it serves an editor); the old
    // editor is let go first. Loads nothing by itself.
    void connectToTextView(KVXTextView *view);
    void disconnectFromTextView();

    bool isUpdating() const { return m_isUpdating; }
    void resumeUpdating() { m_isUpdating = false; }

    // --- Preferences -----------------------------------------------------------------

    QString visibilityKey() const;
    QString tempVisibilityKey() const;
    QString activateSearchKey() const;
    QString frameSaveKey() const;
    void storeHUDPosition();
    void restoreHUDPosition();

    // Hides a shown panel (remembering where the focus was) or shows a
    // hidden one, and records which in "show%@HUD".
    void toggleVisibility();

    // Whether the panel hides while the application is not active.
    bool hidesOnDeactivate() const { return m_hidesOnDeactivate; }
    void setHidesOnDeactivate(bool hides);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applicationStateChanged(Qt::ApplicationState state);

    QString m_hudTitle;
    QPointer<QWidget> m_content;
    QPointer<KVXTextView> m_linkedTextView;
    QPointer<QWidget> m_currentFirstResponder;
    bool m_isUpdating = false;
    bool m_hidesOnDeactivate = true;
    bool m_hiddenWhileInactive = false;
};
