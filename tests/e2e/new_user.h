// A new user, as the end-to-end tests start one: preferences in a file made
// the standard store of this process, or written where the real program will
// look for them. Main thread.
#pragma once

#include "platform/prefs/defaults.h"
#include "platform/prefs/registered_defaults.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// The preferences of a new user, in a file, made the standard store while
// the object lives. Announcements are off so that no test reaches the network.
class NewUser {
public:
    explicit NewUser(const QString &path) : m_defaults(path) {
        platform::registerDefaults(m_defaults);
        m_defaults.setBool(false, "checkForAnnouncements");
        m_previous = platform::Defaults::setStandard(&m_defaults);
    }
    ~NewUser() { platform::Defaults::setStandard(m_previous); }
    NewUser(const NewUser &) = delete;
    NewUser &operator=(const NewUser &) = delete;

    platform::Defaults &defaults() { return m_defaults; }

private:
    platform::Defaults m_defaults;
    platform::Defaults *m_previous = nullptr;
};

// Writes the preferences file the program reads when started with
// XDG_CONFIG_HOME=`config`; `json` is the whole file.
inline bool writeProgramPreferences(const QString &config, const QByteArray &json) {
    const QString folder = config + QStringLiteral("/Tessaro/Orvane");
    QFile file(folder + QStringLiteral("/preferences.json"));
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) && file.write(json) == json.size();
}
