// What may leave the program for the user's other applications.
#include "platform/files/workspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/runtime/alerts.h"
#include "support/qt_wait.h"

using platform::Workspace;
using Target = platform::Workspace::Target;

namespace platform {

// Failures name the target.
void PrintTo(Workspace::Target target, std::ostream *out) {
    static const char *const names[] = {"Refused", "Web", "Mail", "Document"};
    *out << names[int(target)];
}

}  // namespace platform

namespace {

QString write(const QTemporaryDir &folder, const char *name, const QByteArray &bytes,
              QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner) {
    QFile file(folder.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    file.setPermissions(permissions);
    return file.fileName();
}

QUrl fileUrl(const QString &path) {
    return QUrl::fromLocalFile(path);
}

}  // namespace

TEST(Workspace, LetsOutWebPagesMailAndDocumentsOnly) {
    EXPECT_EQ(Workspace::classify(QUrl("https://example.com/a?b#c")), Target::Web);
    EXPECT_EQ(Workspace::classify(QUrl("HTTP://example.com/")), Target::Web);
    EXPECT_EQ(Workspace::classify(QUrl("mailto:ann@example.com?subject=Hi")), Target::Mail);
    for (const char *refused : {"javascript:alert(1)", "data:text/html,<p>x</p>", "ftp://example.com/f",
                                "smb://server/share", "steam://run/1", "http:///no-host", "", "vbscript:x",
                                "file://server/share/doc.pdf"})
        EXPECT_EQ(Workspace::classify(QUrl(refused)), Target::Refused) << refused;

    QTemporaryDir folder;
    const QString document = write(folder, "notes.md", "# Notes\n");
    const QString pdf = write(folder, "paper.pdf", "%PDF-1.4\n");
    EXPECT_EQ(Workspace::classify(fileUrl(document)), Target::Document);
    EXPECT_EQ(Workspace::classify(QUrl(fileUrl(document).toString() + "#part")), Target::Document);
    EXPECT_EQ(Workspace::classify(QUrl("file://localhost" + document)), Target::Document);
    EXPECT_EQ(Workspace::classify(fileUrl(pdf)), Target::Document);

    // Not a regular file, missing, or runnable: refused, links followed.
    EXPECT_EQ(Workspace::classify(fileUrl(folder.path())), Target::Refused);
    EXPECT_EQ(Workspace::classify(fileUrl(folder.filePath("missing.md"))), Target::Refused);
    EXPECT_EQ(Workspace::classify(fileUrl("/dev/null")), Target::Refused);
    const QString tool = write(folder, "tool.md", "echo hi\n",
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOther);
    EXPECT_EQ(Workspace::classify(fileUrl(tool)), Target::Refused);
    ASSERT_TRUE(QFile::link(tool, folder.filePath("innocent.txt")));
    EXPECT_EQ(Workspace::classify(fileUrl(folder.filePath("innocent.txt"))), Target::Refused);
    // Types a desktop runs even without an execute bit.
    EXPECT_EQ(Workspace::classify(fileUrl(write(folder, "launch.desktop",
                                                "[Desktop Entry]\nType=Application\nExec=sh -c x\n"))),
              Target::Refused);
    EXPECT_EQ(Workspace::classify(fileUrl(write(folder, "setup.sh", "#!/bin/sh\nrm -rf ~\n"))), Target::Refused);
    EXPECT_EQ(Workspace::classify(fileUrl(write(folder, "runme", "#!/bin/sh\necho\n"))), Target::Refused);
    EXPECT_EQ(Workspace::classify(fileUrl(write(folder, "app.exe", "MZ\x90\0"))), Target::Refused);
    EXPECT_EQ(Workspace::classify(fileUrl(write(folder, "tool.jar", "PK\x03\x04"))), Target::Refused);
}

// The opener is reached only for what the allowlist lets out, and a file goes
// out by its path alone.
TEST(Workspace, OpensOnlyWhatTheAllowlistLetsOut) {
    QList<QUrl> opened;
    Workspace::setOpenerForTesting([&](const QUrl &url) {
        opened << url;
        return true;
    });
    QTemporaryDir folder;
    const QString document = write(folder, "notes.md", "# Notes\n");
    EXPECT_TRUE(Workspace::openExternally(QUrl("https://example.com/")));
    EXPECT_TRUE(Workspace::openExternally(QUrl(fileUrl(document).toString() + "#section")));
    EXPECT_FALSE(Workspace::openExternally(QUrl("file:///bin/sh")));
    EXPECT_FALSE(Workspace::openExternally(QUrl("javascript:alert(1)")));
    Workspace::setOpenerForTesting({});
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://example.com/"), fileUrl(document)}));
}

// The desktop's opener is watched, never waited for: the call returns while
// it runs and the program goes on; once it ends, its exit status alone says
// whether what it was given could not be opened. What is refused, or no
// folder, fails at once without it.
TEST(Workspace, TheOpenersFailureIsLearntFromItsExitStatusOnceItEnds) {
    QTemporaryDir folder;
    const QString released = folder.filePath("released");
    // An opener that holds on until the test lets it go, then fails for
    // addresses that say so.
    write(folder, "xdg-open",
          "#!/bin/sh\n"
          "echo \"$1\" >> '" +
              QFile::encodeName(folder.filePath("calls")) +
              "'\n"
              "while [ ! -e '" +
              QFile::encodeName(released) +
              "' ]; do sleep 0.02; done\n"
              "case \"$1\" in *fails*) exit 4;; esac\n",
          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The opener first on the PATH while the test runs; let go at its end
    // whatever happened.
    struct Restored {
        QString released;
        QByteArray path = qgetenv("PATH");
        ~Restored() {
            QFile(released).open(QIODevice::WriteOnly);
            qputenv("PATH", path);
        }
    } restored{released};
    qputenv("PATH", QFile::encodeName(folder.path()) + ':' + restored.path);
    const auto calls = [&] {
        QFile log(folder.filePath("calls"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                             : QStringList();
    };

    QStringList failed;
    const auto failing = [&](const char *what) { return [&failed, what] { failed << what; }; };
    EXPECT_TRUE(Workspace::openExternally(QUrl("https://example.com/fails"), failing("page")));
    EXPECT_TRUE(Workspace::openExternally(QUrl("https://example.com/opens"), failing("other page")));
    platform::ScriptedAlerts alerts;
    Workspace::openFolderOrTell(folder.path(), "The test's folder");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return calls().size() == 3; }));
    // Running still: nothing is known, and the program turns on.
    testing_qt::spinFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_EQ(alerts.count(), 0);

    EXPECT_FALSE(Workspace::openExternally(QUrl("javascript:alert(1)"), failing("script")));
    EXPECT_EQ(failed, QStringList({"script"}));
    Workspace::openFolderOrTell(folder.filePath("nowhere"), "A folder that is not there");
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown()[0].messageText, "A folder that is not there could not be opened.");
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains(folder.filePath("nowhere")));

    // Let go: the failing one is told, the others not.
    write(folder, "released", "");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return failed.size() == 2; }));
    testing_qt::spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(failed, QStringList({"script", "page"}));
    EXPECT_EQ(alerts.count(), 1);
}

// What is refused says why in words for the user: a file that is not there
// (or a link to nothing) apart from one that may not go; what goes says
// nothing.
TEST(Workspace, SaysWhyItRefuses) {
    QTemporaryDir folder;
    const QString document = write(folder, "notes.md", "# Notes\n");
    ASSERT_TRUE(QFile::link(folder.filePath("gone.md"), folder.filePath("dangling.md")));
    EXPECT_EQ(Workspace::refusal(fileUrl(document)), "");
    EXPECT_EQ(Workspace::refusal(QUrl("https://example.com/")), "");
    for (const QUrl &missing : {fileUrl(folder.filePath("missing.md")), fileUrl(folder.filePath("dangling.md")),
                                QUrl("file://localhost" + folder.filePath("missing.md") + "#part")})
        EXPECT_EQ(Workspace::refusal(missing), "there is no such file.") << missing.toString().toStdString();
    const QString setup = write(folder, "setup.sh", "#!/bin/sh\n");
    for (const QUrl &refused : {fileUrl(setup), fileUrl(folder.path()), QUrl("javascript:alert(1)"),
                                QUrl("mailto:ann@example.com?attach=/etc/passwd")}) {
        const QString why = Workspace::refusal(refused);
        EXPECT_FALSE(why.isEmpty() || why.contains("no such file")) << refused.toString().toStdString();
    }
}

// Whatever some desktop runs, installs or lets run code is refused, by its
// name or by its content, though no execute bit is set; documents go out.
TEST(Workspace, RefusesInstallersScriptsAndLaunchersOfEveryDesktop) {
    const QByteArray ole("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8);
    const QByteArray zip("PK\x03\x04\x14\x00\x00\x00", 8);
    const QByteArray elf("\x7f" "ELF\x02\x01\x01\x00", 8);
    struct Case {
        const char *name;
        QByteArray content;
        Target expected;
    };
    const Case cases[] = {
        // Installers and packages.
        {"setup.msi", ole, Target::Refused},
        {"SETUP.MSI", ole, Target::Refused},
        {"update.msp", ole, Target::Refused},
        {"Installer.pkg", "xar!", Target::Refused},
        {"Installer.mpkg", "<installer-gui-script/>", Target::Refused},
        {"App.dmg", "koly", Target::Refused},
        {"app.msix", zip, Target::Refused},
        {"app.appx", zip, Target::Refused},
        {"setup.cab", "MSCF", Target::Refused},
        {"tool.deb", "!<arch>\ndebian-binary", Target::Refused},
        {"tool.rpm", "\xed\xab\xee\xdb", Target::Refused},
        {"app.apk", zip, Target::Refused},
        {"app.snap", "hsqs", Target::Refused},
        {"app.flatpakref", "[Flatpak Ref]\nName=x\n", Target::Refused},
        {"Tool.AppImage", elf, Target::Refused},
        {"addon.xpi", zip, Target::Refused},
        // Programs, launchers and shortcuts.
        {"app.exe", "MZ\x90", Target::Refused},
        {"prog.com", "\xb4\x09", Target::Refused},
        {"saver.scr", "MZ\x90", Target::Refused},
        {"site.url", "[InternetShortcut]\nURL=file:///bin/sh\n", Target::Refused},
        {"start.lnk", QByteArray("L\0\0\0", 4), Target::Refused},
        {"launch.desktop", "[Desktop Entry]\nType=Application\nExec=sh -c x\n", Target::Refused},
        {"old.kdelnk", "[KDE Desktop Entry]\nExec=sh\n", Target::Refused},
        {"tool.jar", zip, Target::Refused},
        {"start.jnlp", "<?xml version=\"1.0\"?><jnlp/>", Target::Refused},
        {"page.hta", "<html><script>x</script></html>", Target::Refused},
        {"help.chm", "ITSF", Target::Refused},
        {"disguised.pdf", elf, Target::Refused},
        // Scripts, by name or by their interpreter line.
        {"run.sh", "echo hi\n", Target::Refused},
        {"run.zsh", "echo hi\n", Target::Refused},
        {"run.command", "echo hi\n", Target::Refused},
        {"run.py", "print(1)\n", Target::Refused},
        {"run.pl", "print 1;\n", Target::Refused},
        {"run.rb", "puts 1\n", Target::Refused},
        {"run.php", "<?php echo 1;\n", Target::Refused},
        {"run.lua", "print(1)\n", Target::Refused},
        {"run.js", "alert(1)\n", Target::Refused},
        {"run.bat", "@echo off\n", Target::Refused},
        {"run.cmd", "@echo off\n", Target::Refused},
        {"run.ps1", "Write-Host hi\n", Target::Refused},
        {"run.vbs", "MsgBox 1\n", Target::Refused},
        {"run.wsf", "<job><script>x</script></job>", Target::Refused},
        {"run.scpt", "x", Target::Refused},
        {"keys.reg", "REGEDIT4\n", Target::Refused},
        {"notes", "#!/usr/bin/env python3\nprint(1)\n", Target::Refused},
        {"looks-like.txt", "#!/bin/sh\nrm -rf ~\n", Target::Refused},
        // Office documents that carry macros.
        {"report.docm", zip, Target::Refused},
        {"letter.dotm", zip, Target::Refused},
        {"sheet.xlsm", zip, Target::Refused},
        {"sheet.xlsb", zip, Target::Refused},
        {"tools.xlam", zip, Target::Refused},
        {"slides.pptm", zip, Target::Refused},
        {"show.ppsm", zip, Target::Refused},
        {"tools.ppam", zip, Target::Refused},
        // Documents.
        {"notes.md", "# Notes\n", Target::Document},
        {"plain.txt", "Plain words.\n", Target::Document},
        {"paper.pdf", "%PDF-1.4\n", Target::Document},
        {"report.docx", zip, Target::Document},
        {"sheet.ods", zip, Target::Document},
        {"book.epub", zip, Target::Document},
        {"archive.zip", zip, Target::Document},
        {"picture.png", "\x89PNG\r\n\x1a\n", Target::Document},
        {"page.html", "<p>x</p>\n", Target::Document},
        {"table.csv", "a,b\n1,2\n", Target::Document},
    };
    QTemporaryDir folder;
    for (const Case &c : cases)
        EXPECT_EQ(Workspace::classify(fileUrl(write(folder, c.name, c.content))), c.expected) << c.name;

    // A link is judged by its own name and by what it leads to.
    ASSERT_TRUE(QFile::link(folder.filePath("setup.msi"), folder.filePath("innocent.md")));
    EXPECT_EQ(Workspace::classify(fileUrl(folder.filePath("innocent.md"))), Target::Refused);
    ASSERT_TRUE(QFile::link(folder.filePath("notes.md"), folder.filePath("notes.msi")));
    EXPECT_EQ(Workspace::classify(fileUrl(folder.filePath("notes.msi"))), Target::Refused);
}

// New mail goes out, but not when it would take files of this machine with
// it, however the field is spelt or escaped.
TEST(Workspace, RefusesMailThatWouldTakeFilesAlong) {
    for (const char *mail : {"mailto:ann@example.com", "mailto:?to=ann@example.com&cc=bob@example.com",
                             "mailto:ann@example.com?subject=Attachments%20follow&body=See%20the%20attached%20file"})
        EXPECT_EQ(Workspace::classify(QUrl(mail)), Target::Mail) << mail;
    for (const char *mail : {
             "mailto:ann@example.com?attach=/home/u/secret.txt",
             "mailto:ann@example.com?ATTACH=~/.ssh/id_rsa",
             "mailto:ann@example.com?subject=x&Attachment=file:///etc/passwd",
             "MAILTO:ann@example.com?attachment=/etc/passwd",
             "mailto:ann@example.com?%61ttach=/etc/passwd",
             "mailto:ann@example.com?%2561ttach=/etc/passwd",
             "mailto:ann@example.com?subject=x%26attach%3D/etc/passwd",
             "mailto:ann@example.com?subject=x;attach=/etc/passwd",
             "mailto:ann@example.com?body=x&%20attach=/etc/passwd",
             "mailto:?attach=/etc/passwd",
             "mailto:ann@example.com?insert=/etc/passwd",
         })
        EXPECT_EQ(Workspace::classify(QUrl(mail)), Target::Refused) << mail;
}
