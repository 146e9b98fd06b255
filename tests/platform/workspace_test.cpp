// What may leave the program for the user's other applications.
#include "platform/workspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::Workspace;
using Target = platform::Workspace::Target;

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
