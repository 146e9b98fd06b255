// KVXHUDController: the registry of the floating panels. It links them to
// an editor, shows and hides them by title, keeps their visibility for a
// while ("tempShow%@HUD") and their frames, and lets them stay shown while
// the application is in the background when "showHUDsInBackground" is set.
//
// The application uses one, sharedInstance(); the panels stay owned by
// whoever made them, and a panel that goes leaves the registry.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class KVXHUDPanel;
class KVXTextView;

class KVXHUDController : public QObject {
    Q_OBJECT

public:
    static KVXHUDController &sharedInstance();

    // A registry of its own (tests); it reads the standard preferences.
    explicit KVXHUDController(QObject *parent = nullptr);
    ~KVXHUDController() override;

    // Starts the registry and the observation of "showHUDsInBackground"
    // (once; construction does it).
    void initializeHUDArray();
    QList<KVXHUDPanel *> availableHUDs() const;

    // Registers `panel`; it is shown at once when "show%@HUD" says so.
    void addHUD(KVXHUDPanel *panel);
    void linkHUDsToTextView(KVXTextView *view);
    void disconnectHUDsFromTextView(KVXTextView *view);
    // Every panel hides in the background unless "showHUDsInBackground".
    void setVisibilityOnBackground();
    // Toggles the first panel with that title; nothing when none has it.
    void toggleHUDbyName(const QString &title);
    void storeHUDVisibility();
    void restoreHUDVisibility();
    void storeHUDPositions();
    void restoreHUDPositions();

private:
    bool m_initialized = false;
    QList<QPointer<KVXHUDPanel>> m_availableHUDs;
};
