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
//
// While a StandInOpener::Failing lives, the stand-in fails as xdg-open does
// when nothing on the desktop opens what it is given: it notes the call,
// says so on its standard error and ends with exit status 4.
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

    // The stand-in failing while it lives (and noting its calls still).
    class Failing {
    public:
        Failing() {
            QFile mark(install().failMarkPath());
            mark.open(QIODevice::WriteOnly);
        }
        ~Failing() { QFile::remove(install().failMarkPath()); }
        Failing(const Failing &) = delete;
        Failing &operator=(const Failing &) = delete;
    };

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
            script.write("if [ -e '" + QFile::encodeName(failMarkPath()) + "' ]; then\n"
                         "  echo \"xdg-open: no method available for opening '$1'\" >&2\n"
                         "  exit 4\n"
                         "fi\n");
            script.close();
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        qputenv("PATH", path());
    }
    QString logPath() const { return m_folder.filePath(QStringLiteral("calls.log")); }
    QString failMarkPath() const { return m_folder.filePath(QStringLiteral("fail")); }

    // The desktop's opener is started through a command line split at
    // spaces: the folder's path has none.
    QTemporaryDir m_folder{QDir::tempPath() + QStringLiteral("/orvane-opener-XXXXXX")};
    QByteArray m_originalPath;
};
