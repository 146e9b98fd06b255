// A stand-in for the desktop's opener: a script named xdg-open, first on the
// PATH of this test program (and of the programs it starts), that writes
// each call's arguments as one line to a file. Qt looks the opener up once
// per program and keeps what it found, so the stand-in is made once and
// stays for the program's life; clear() forgets earlier calls.
//
//   StandInOpener &opener = StandInOpener::install();
//   opener.clear();
//   ... something that may open a URL ...
//   EXPECT_TRUE(opener.calls().isEmpty());
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

class StandInOpener {
public:
    static StandInOpener &install() {
        static StandInOpener opener;
        return opener;
    }

    // The folder that holds the stand-in, to put first on another PATH.
    QString folder() const { return m_folder.path(); }
    // PATH with the stand-in's folder first.
    QByteArray path() const { return QFile::encodeName(folder()) + ':' + m_originalPath; }

    // The arguments of each call so far, one line per call.
    QStringList calls() const {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    void clear() { QFile::remove(logPath()); }

private:
    StandInOpener() : m_originalPath(qgetenv("PATH")) {
        QFile script(m_folder.filePath(QStringLiteral("xdg-open")));
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(logPath()) + "'\n");
            script.close();
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        qputenv("PATH", path());
    }
    QString logPath() const { return m_folder.filePath(QStringLiteral("calls.log")); }

    // The desktop's opener is started through a command line split at
    // spaces: the folder's path has none.
    QTemporaryDir m_folder{QDir::tempPath() + QStringLiteral("/orvane-opener-XXXXXX")};
    QByteArray m_originalPath;
};
