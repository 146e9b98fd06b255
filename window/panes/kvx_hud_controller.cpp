#include "window/panes/kvx_hud_controller.h"

#include "platform/prefs/defaults.h"
#include "window/panes/kvx_hud_panel.h"

namespace {
const QString kShowInBackground = QStringLiteral("showHUDsInBackground");
platform::Defaults &defaults() { return platform::Defaults::standard(); }
}  // namespace

KVXHUDController &KVXHUDController::sharedInstance() {
    static KVXHUDController *shared = new KVXHUDController;
    return *shared;
}

KVXHUDController::KVXHUDController(QObject *parent) : QObject(parent) { initializeHUDArray(); }

KVXHUDController::~KVXHUDController() = default;

void KVXHUDController::initializeHUDArray() {
    if (m_initialized)
        return;
    m_initialized = true;
    m_availableHUDs.reserve(5);
    defaults().observe(kShowInBackground, this, [this](const QVariant &) { setVisibilityOnBackground(); });
}

QList<KVXHUDPanel *> KVXHUDController::availableHUDs() const {
    QList<KVXHUDPanel *> panels;
    for (const QPointer<KVXHUDPanel> &panel : m_availableHUDs)
        if (panel)
            panels.append(panel);
    return panels;
}

void KVXHUDController::addHUD(KVXHUDPanel *panel) {
    if (!panel || availableHUDs().contains(panel))
        return;
    m_availableHUDs.append(panel);
    setVisibilityOnBackground();
    if (defaults().boolForKey(panel->visibilityKey()))
        panel->toggleVisibility();
}

void KVXHUDController::linkHUDsToTextView(KVXTextView *view) {
    for (KVXHUDPanel *panel : availableHUDs())
        if (panel->linkedTextView() != view)
            panel->connectToTextView(view);
}

void KVXHUDController::disconnectHUDsFromTextView(KVXTextView *view) {
    for (KVXHUDPanel *panel : availableHUDs())
        if (view && panel->linkedTextView() == view)
            panel->disconnectFromTextView();
}

void KVXHUDController::setVisibilityOnBackground() {
    const bool stay = defaults().boolForKey(kShowInBackground);
    for (KVXHUDPanel *panel : availableHUDs())
        panel->setHidesOnDeactivate(!stay);
}

void KVXHUDController::toggleHUDbyName(const QString &title) {
    for (KVXHUDPanel *panel : availableHUDs())
        if (panel->hudTitle() == title) {
            panel->toggleVisibility();
            return;
        }
}

void KVXHUDController::storeHUDVisibility() {
    for (KVXHUDPanel *panel : availableHUDs())
        defaults().setBool(defaults().boolForKey(panel->visibilityKey()), panel->tempVisibilityKey());
}

void KVXHUDController::restoreHUDVisibility() {
    for (KVXHUDPanel *panel : availableHUDs())
        if (defaults().boolForKey(panel->tempVisibilityKey()))
            toggleHUDbyName(panel->hudTitle());
}

void KVXHUDController::storeHUDPositions() {
    for (KVXHUDPanel *panel : availableHUDs())
        panel->storeHUDPosition();
}

void KVXHUDController::restoreHUDPositions() {
    for (KVXHUDPanel *panel : availableHUDs())
        panel->restoreHUDPosition();
}
