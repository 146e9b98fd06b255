// The reusable part of the application's delegate: the crash flag, the time
// the program has been in use, the program's simple alert and its version.
//
// "appCrashed" is true from launch until a normal quit, and written to disk
// the moment it is set, so that the next launch after a crash, a forced quit
// or a power cut finds it still set. "timeInUse" sums the seconds the
// program was the active application, over all runs.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

namespace platform {
class Defaults;
}

class KVXAppDelegate : public QObject {
    Q_OBJECT

public:
    // `defaults` is the standard store when null; it must outlive the
    // delegate.
    explicit KVXAppDelegate(platform::Defaults *defaults = nullptr, QObject *parent = nullptr);
    ~KVXAppDelegate() override;

    platform::Defaults &defaults() const { return *m_defaults; }

    // The simple alert: `title` bold, `message` under it, one OK button.
    // Returns at once; the alert shows on the main thread. Any thread.
    static void simpleAlertWithMessage(const QString &message, const QString &title);
    // "VERSION(BUILD)", e.g. "4.0.0(512)".
    static QString versionBuildString();

    // The crash check of a launch: a set flag is offered as a crash (and
    // left set); otherwise the flag is set and written at once.
    virtual void applicationDidFinishLaunching();
    // A normal quit: the flag is cleared and written.
    virtual void applicationWillTerminate();
    // The offer after a crash; the base class only tells the user.
    virtual void appCrashed();

    // Time accounting, as the program becomes active and inactive.
    void applicationDidBecomeActive();
    void applicationDidResignActive();
    // Adds the time active since startupDate to "timeInUse", then restarts
    // the count now.
    void updateTimeInUse();
    QDateTime startupDate() const { return m_startupDate; }
    void setStartupDate(const QDateTime &date) { m_startupDate = date; }

    // Ends the process at once, without the quit sequence (the flag stays).
    [[noreturn]] static void quitApp();

protected:
    void addTimeSinceStartup();

private:
    platform::Defaults *m_defaults;
    QDateTime m_startupDate;
};
