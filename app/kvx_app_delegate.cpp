#include "app/kvx_app_delegate.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>

#include "app/app_log.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"

namespace {

const QString kAppCrashed = QStringLiteral("appCrashed");
const QString kTimeInUse = QStringLiteral("timeInUse");

}  // namespace

KVXAppDelegate::KVXAppDelegate(platform::Defaults *defaults, QObject *parent)
    : QObject(parent), m_defaults(defaults ? defaults : &platform::Defaults::standard()) {
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                applicationDidBecomeActive();
            else
                applicationDidResignActive();
        });
}

KVXAppDelegate::~KVXAppDelegate() = default;

void KVXAppDelegate::simpleAlertWithMessage(const QString &message, const QString &title) {
    platform::Alerts::simpleAlert(message, title);
}

QString KVXAppDelegate::versionBuildString() {
    const QCoreApplication *app = QCoreApplication::instance();
    const QString build = app ? app->property("buildNumber").toString() : QString();
    return QStringLiteral("%1(%2)").arg(QCoreApplication::applicationVersion(),
                                        build.isEmpty() ? QStringLiteral("0") : build);
}

void KVXAppDelegate::applicationDidFinishLaunching() {
    if (m_defaults->boolForKey(kAppCrashed)) {
        appCrashed();
        return;
    }
    m_defaults->setBool(true, kAppCrashed);
    // A crash before the next regular write would lose it.
    if (!m_defaults->synchronize() && !m_defaults->filePath().isEmpty())
        qCWarning(lcApp, "The crash flag could not be written to the preferences file.");
}

void KVXAppDelegate::applicationWillTerminate() {
    m_defaults->setBool(false, kAppCrashed);
    m_defaults->synchronize();
}

void KVXAppDelegate::appCrashed() {
    simpleAlertWithMessage(QStringLiteral("It appears that this application crashed the last time it was used."),
                           QStringLiteral("Alert"));
}

// --- Time in use -------------------------------------------------------------------

void KVXAppDelegate::applicationDidBecomeActive() { m_startupDate = QDateTime::currentDateTimeUtc(); }

void KVXAppDelegate::applicationDidResignActive() {
    if (m_startupDate.isValid()) {
        addTimeSinceStartup();
        m_startupDate = QDateTime();
    }
}

void KVXAppDelegate::updateTimeInUse() {
    if (m_startupDate.isValid())
        addTimeSinceStartup();
    m_startupDate = QDateTime::currentDateTimeUtc();
}

void KVXAppDelegate::addTimeSinceStartup() {
    const double seconds = double(m_startupDate.msecsTo(QDateTime::currentDateTimeUtc())) / 1000.0;
    const double total = double(m_defaults->floatForKey(kTimeInUse)) + std::max(0.0, seconds);
    m_defaults->setFloat(float(total), kTimeInUse);
}

void KVXAppDelegate::quitApp() { std::_Exit(0); }
