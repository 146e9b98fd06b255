// The document machinery: type identifiers, file tags, safe writes, the file
// presenter, documents with their File menu commands and close questions,
// and the document controller.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/documents/document.h"
#include "platform/documents/document_controller.h"
#include "platform/documents/file_panels.h"
#include "platform/documents/file_presenter.h"
#include "platform/documents/file_tags.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/documents/safe_write.h"
#include "platform/documents/type_registry.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/folders.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/save_gate.h"

using namespace platform;
using testing_qt::spinFor;
using testing_qt::spinUntil;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Another program saving the way most do: a new file renamed over the old.
void renameSave(const QString &path, const QByteArray &bytes) {
    const QString temporary = path + QStringLiteral(".tmp~");
    writeAll(temporary, bytes);
    ASSERT_EQ(::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()), 0);
}

// A document whose contents are its bytes, with a window of its own.
class BytesDocument : public Document {
public:
    QByteArray contents;
    int outsideChanges = 0;
    bool readFromData(const QByteArray &data, const QString &, QString *) override {
        contents = data;
        return true;
    }
    std::optional<QByteArray> dataOfType(const QString &, QString *) override { return contents; }
    void makeWindowControllers() override { addWindowController(new WindowController); }
    void presentedItemDidChange() override { outsideChanges++; }
    void edit(const QByteArray &bytes) {
        contents = bytes;
        updateChangeCount(ChangeKind::Done);
    }
};

struct DocumentsFixture : ::testing::Test {
    ScopedStandardDefaults defaults;
    QTemporaryDir folder;
    DocumentController controller;
    DocumentController *previous = nullptr;
    ScriptedAlerts alerts;
    ScriptedPanels panels;

    void SetUp() override {
        previous = DocumentController::setShared(&controller);
        controller.setDocumentFactory([](const QString &) { return new BytesDocument; });
    }
    void TearDown() override {
        for (Document *document : controller.documents())
            document->close();
        spinFor(std::chrono::milliseconds(20));
        DocumentController::setShared(previous);
    }
    QString path(const QString &name) const { return folder.filePath(name); }
    BytesDocument *open(const QString &name, const QByteArray &bytes) {
        writeAll(path(name), bytes);
        return static_cast<BytesDocument *>(controller.openDocument(path(name), false));
    }
};

}  // namespace

TEST(TypeRegistry, KnowsTheExportTypesTheirAliasesAndWhatIsText) {
    namespace t = types;
    EXPECT_EQ(TypeRegistry::typeForExtension("md"), QLatin1String(t::kMarkdownType));
    EXPECT_EQ(TypeRegistry::typeForExtension("HTML"), QLatin1String(t::kHtml));
    EXPECT_EQ(TypeRegistry::typeForExtension("fodt"), QLatin1String(t::kFlatOdt));
    EXPECT_EQ(TypeRegistry::canonical("vnd.oasis.opendocument.text-flat-xml"), QLatin1String(t::kFlatOdt));
    EXPECT_EQ(TypeRegistry::preferredExtension("vnd.oasis.opendocument.text"), "odt");
    EXPECT_EQ(TypeRegistry::nameFilter(t::kHtml), "HTML document (*.html *.htm *.xhtml)");

    // Text opens in the editor; packaged books and documents do not.
    for (const char *text : {t::kMarkdownType, t::kGenericMarkdown, t::kPlainText, t::kHtml, t::kTex, t::kTextBundle})
        EXPECT_TRUE(TypeRegistry::conformsTo(text, t::kText)) << text;
    for (const char *data : {t::kEpub, t::kOdt, t::kFlatOdt, t::kTextPack, t::kData})
        EXPECT_FALSE(TypeRegistry::conformsTo(data, t::kText)) << data;
    EXPECT_TRUE(TypeRegistry::conformsTo(t::kMarkdownType, t::kPlainText));
    EXPECT_FALSE(TypeRegistry::conformsTo(t::kPlainText, t::kMarkdownType));
    EXPECT_TRUE(TypeRegistry::conformsTo("com.example.unknown", "com.example.unknown"));
    EXPECT_FALSE(TypeRegistry::conformsTo("com.example.unknown", t::kText));
    EXPECT_TRUE(TypeRegistry::isPackage(t::kTextBundle));

    // A file without a known extension is typed by its content.
    QTemporaryDir folder;
    writeAll(folder.filePath("README"), "Just words.\n");
    writeAll(folder.filePath("blob"), QByteArray("\x00\x01\x02\x89PNG", 7));
    EXPECT_EQ(TypeRegistry::typeForPath(folder.filePath("README")), QLatin1String(t::kPlainText));
    EXPECT_FALSE(TypeRegistry::conformsTo(TypeRegistry::typeForPath(folder.filePath("blob")), t::kText));
}

TEST(FileTags, RoundTripAndTheAttributesText) {
    EXPECT_EQ(FileTags::parse(" draft, novel ,,draft,"), (QStringList{"draft", "novel"}));
    EXPECT_EQ(FileTags::format({"a", "b,c", " ", "a"}), QByteArray("a,b c"));

    QTemporaryDir folder;
    const QString file = folder.filePath("tagged.md");
    writeAll(file, "text");
    if (!FileTags::supported(file))
        GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    EXPECT_EQ(FileTags::tags(file), QStringList());
    ASSERT_TRUE(FileTags::setTags(file, {"blue", "home work"}));
    EXPECT_EQ(FileTags::tags(file), (QStringList{"blue", "home work"}));
    ASSERT_TRUE(FileTags::setTags(file, {}));
    EXPECT_EQ(FileTags::tags(file), QStringList());
    EXPECT_FALSE(FileTags::tags(folder.filePath("missing")).has_value());
}

TEST(SafeWrite, ReplacesTheFileKeepingWhatItHadBesidesItsBytes) {
    QTemporaryDir folder;
    const QString file = folder.filePath("notes.md");
    writeAll(file, "old");
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const bool tagged = FileTags::setTags(file, {"kept"});
    const quint64 before = FileState::of(file).inode;

    QString error;
    ASSERT_TRUE(writeFileAtomically(file, "new", &error)) << error.toStdString();
    EXPECT_EQ(readAll(file), "new");
    EXPECT_NE(FileState::of(file).inode, before) << "written in place, not replaced";
    struct stat mode;
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &mode), 0);
    EXPECT_EQ(mode.st_mode & 0777, 0600u);
    if (tagged) {
        EXPECT_EQ(FileTags::tags(file), QStringList{"kept"});
    }

    // Through a link: the target is replaced and the link stays a link.
    const QString link = folder.filePath("link.md");
    ASSERT_TRUE(QFile::link(file, link));
    ASSERT_TRUE(writeFileAtomically(link, "through the link"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(file), "through the link");

    // A folder where the file would go is refused, and left alone.
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder.md"));
    EXPECT_FALSE(writeFileAtomically(folder.filePath("folder.md"), "x", &error));
    EXPECT_TRUE(error.contains("folder")) << error.toStdString();
    EXPECT_TRUE(QFileInfo(folder.filePath("folder.md")).isDir());
    // Nothing half written is left behind.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

namespace {

constexpr char kAccessList[] = "system.posix_acl_access";
constexpr char kDefaultAccessList[] = "system.posix_acl_default";

// An access list as the system keeps it in its attribute: the owner, one
// named user, the group, the mask and everybody else.
QByteArray accessList(uint16_t owner, uint32_t user, uint16_t userCan, uint16_t group, uint16_t mask, uint16_t other) {
    QByteArray bytes;
    auto put = [&](uint32_t value, int size) {
        for (int i = 0; i < size; i++)
            bytes.append(char((value >> (8 * i)) & 0xFF));
    };
    auto entry = [&](uint16_t tag, uint16_t can, uint32_t id) {
        put(tag, 2);
        put(can, 2);
        put(id, 4);
    };
    put(2, 4);  // the format's version
    entry(0x01, owner, 0xFFFFFFFF);
    entry(0x02, userCan, user);
    entry(0x04, group, 0xFFFFFFFF);
    entry(0x10, mask, 0xFFFFFFFF);
    entry(0x20, other, 0xFFFFFFFF);
    return bytes;
}

// An attribute of the file itself; nothing when it has none.
std::optional<QByteArray> attributeOf(const QString &path, const char *name) {
    char value[4096];
    const ssize_t size = lgetxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return size < 0 ? std::nullopt : std::optional<QByteArray>(QByteArray(value, size));
}

struct stat statusOf(const QString &path) {
    struct stat info {};
    stat(QFile::encodeName(path).constData(), &info);
    return info;
}

// Runs `body` in a child process that dies at `step` of a write in place,
// as a crash would kill it there; true when it died so.
InPlaceStep s_crashStep;
bool crashesAt(InPlaceStep step, const std::function<void()> &body) {
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        s_crashStep = step;
        setInPlaceStepHook([](InPlaceStep reached) {
            if (reached == s_crashStep)
                raise(SIGKILL);
        });
        body();
        _exit(0);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Runs `body` in a child process as another user, who is in no other group
// (root only); the child's exit status: 0 when `body` answered true, -1 when
// it did not end of itself.
int runAs(uid_t user, gid_t group, const std::function<bool()> &body) {
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0)
            _exit(3);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// A group of the machine that the saving user is not given by default: staff
// (or any number, which root may give), for a non-root user one of their
// other groups; nothing when they have none.
std::optional<gid_t> anotherGroup() {
    if (geteuid() == 0) {
        const struct group *staff = getgrnam("staff");
        return staff ? staff->gr_gid : gid_t(50);
    }
    gid_t groups[256];
    const int count = getgroups(256, groups);
    for (int i = 0; i < count; i++)
        if (groups[i] != getegid())
            return groups[i];
    return std::nullopt;
}

}  // namespace

// Who may use the file stays as it was: its owner (for root, who may give a
// file to anyone), its group, its mode, its access list and its tags. And a
// new file takes no access list from its folder that the old one had not.
TEST(SafeWrite, KeepsWhoMayUseTheFileItsAccessListAndItsTags) {
    QTemporaryDir folder;
    const QString file = folder.filePath("shared.md");
    writeAll(file, "old");
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0640), 0);
    const std::optional<gid_t> group = anotherGroup();
    const uid_t owner = geteuid() == 0 ? uid_t(4243) : geteuid();
    if (group) {
        ASSERT_EQ(chown(QFile::encodeName(file).constData(), owner, *group), 0);
    }
    const bool lists =
        lsetxattr(QFile::encodeName(file).constData(), kAccessList, accessList(6, 4244, 6, 4, 6, 0).constData(),
                  size_t(accessList(6, 4244, 6, 4, 6, 0).size()), 0) == 0;
    const bool tagged = FileTags::setTags(file, {"kept", "shared"});
    const struct stat before = statusOf(file);
    const std::optional<QByteArray> listBefore = attributeOf(file, kAccessList);

    QString error;
    WriteReport report;
    ASSERT_TRUE(writeFileAtomically(file, "new", &error, &report)) << error.toStdString();
    EXPECT_EQ(readAll(file), "new");
    const struct stat after = statusOf(file);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file, renamed over the old";
    EXPECT_FALSE(report.inPlace);
    EXPECT_TRUE(report.notKept.isEmpty()) << report.notKept.toStdString();
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    if (lists) {
        EXPECT_EQ(attributeOf(file, kAccessList), listBefore);
    }
    if (tagged) {
        EXPECT_EQ(FileTags::tags(file), (QStringList{"kept", "shared"}));
    }

    // The folder gives its new files an access list that lets another user
    // in; a file made before had none, and its save lets nobody in either.
    const QString older = folder.filePath("older.md");
    writeAll(older, "old");
    ASSERT_EQ(chmod(QFile::encodeName(older).constData(), 0640), 0);
    const QByteArray inherited = accessList(7, 4244, 7, 5, 7, 0);
    if (lists && lsetxattr(QFile::encodeName(folder.path()).constData(), kDefaultAccessList, inherited.constData(),
                           size_t(inherited.size()), 0) == 0) {
        ASSERT_TRUE(writeFileAtomically(older, "new", &error)) << error.toStdString();
        EXPECT_FALSE(attributeOf(older, kAccessList).has_value()) << "the folder's list let another user in";
        EXPECT_EQ(statusOf(older).st_mode & 0777, 0640u);
    }
    if (!group)
        GTEST_SKIP() << "the file's group was not tried: the user is in no group but their own";
}

// A file its user may write but not read is saved as any other: what it is
// and what it keeps are taken from the old file opened only as a name for
// it, which needs no right to read it.
TEST(SafeWrite, AFileItsUserMayWriteButNotReadIsSavedToo) {
    QTemporaryDir folder;
    const QString file = folder.filePath("drop box.md");
    writeAll(file, "old");
    const bool root = geteuid() == 0;
    const uid_t user = root ? uid_t(4243) : geteuid();
    const gid_t group = root ? gid_t(4243) : getegid();
    if (root) {
        // Another user's folder and file: root may read anything.
        ASSERT_EQ(chown(QFile::encodeName(folder.path()).constData(), user, group), 0);
        ASSERT_EQ(chown(QFile::encodeName(file).constData(), user, group), 0);
    }
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0200), 0);
    auto save = [&] {
        QString error;
        WriteReport report;
        const bool written = writeFileAtomically(file, "new", &error, &report);
        if (!written)
            std::fprintf(stderr, "%s\n", qPrintable(error));
        return written && report.notKept.isEmpty();
    };
    if (root)
        EXPECT_EQ(runAs(user, group, save), 0);
    else
        EXPECT_TRUE(save());
    EXPECT_EQ(readAll(file), "new");
    EXPECT_EQ(statusOf(file).st_mode & 07777, 0200u);
    EXPECT_EQ(statusOf(file).st_uid, user);
}

// A file with other names (hard links) is written where it is, so that all
// its names show the new text; so is a file in a folder that takes no new
// file. A crash at any step of that write leaves both versions on the disk,
// and the document that opens the file next says where, unless the file
// holds the new text.
TEST_F(DocumentsFixture, AFileWithOtherNamesIsWrittenWhereItIsAndACrashLosesNeitherVersion) {
    QTemporaryDir elsewhere;
    const QString name = path("linked.md");
    const QString other = elsewhere.filePath("other name.md");
    writeAll(name, "old");
    ASSERT_EQ(::link(QFile::encodeName(name).constData(), QFile::encodeName(other).constData()), 0);
    const ino_t inode = statusOf(name).st_ino;
    QString error;
    WriteReport report;
    ASSERT_TRUE(writeFileAtomically(name, "new text", &error, &report)) << error.toStdString();
    EXPECT_EQ(readAll(name), "new text");
    EXPECT_EQ(readAll(other), "new text") << "the other name kept the old text";
    EXPECT_EQ(statusOf(name).st_ino, inode);
    EXPECT_TRUE(report.inPlace);
    ASSERT_TRUE(writeFileAtomically(other, "through the other name"));
    EXPECT_EQ(readAll(name), "through the other name");
    EXPECT_TRUE(unfinishedSaves(realWritePath(name)).isEmpty()) << "the copies were not removed";

    // A crash at each step.
    QByteArray old, fresh;
    for (int i = 0; i < 12000; i++) {
        old += "old line " + QByteArray::number(i) + "\n";
        fresh += "the new line " + QByteArray::number(i) + "\n";
    }
    ASSERT_GT(fresh.size(), 65536 * 2) << "long enough to be half written";
    const struct Step {
        InPlaceStep step;
        const char *name;
        bool told;  // the next open says where the versions are
    } steps[] = {
        {InPlaceStep::Copying, "copying", false},
        {InPlaceStep::Copied, "copied", true},
        {InPlaceStep::Writing, "writing", true},
        {InPlaceStep::Written, "written", false},
    };
    for (const Step &at : steps) {
        writeAll(name, old);
        ASSERT_TRUE(crashesAt(at.step, [&] { writeFileAtomically(name, fresh); })) << at.name;
        const QList<UnfinishedSave> left = unfinishedSaves(realWritePath(name));
        ASSERT_EQ(left.size(), 1) << at.name;
        const QByteArray onDisk = readAll(name);
        EXPECT_EQ(readAll(other), onDisk) << at.name;
        const QByteArray before = left[0].before.isEmpty() ? QByteArray() : readAll(left[0].before);
        const QByteArray after = left[0].after.isEmpty() ? QByteArray() : readAll(left[0].after);
        if (at.step == InPlaceStep::Copying) {
            // Nothing of the new text is on the disk yet: the file is untouched.
            EXPECT_EQ(onDisk, old);
        } else {
            EXPECT_TRUE(onDisk == old || before == old) << at.name << ": the old text is lost";
            EXPECT_TRUE(onDisk == fresh || after == fresh) << at.name << ": the new text is lost";
        }
        if (at.step == InPlaceStep::Writing) {
            EXPECT_NE(onDisk, old) << "the crash came after the file's first part";
            EXPECT_NE(onDisk, fresh);
        }

        const qsizetype asked = alerts.count();
        auto *document = static_cast<BytesDocument *>(controller.openDocument(name, false));
        ASSERT_TRUE(document) << at.name;
        if (at.told) {
            ASSERT_EQ(alerts.count(), asked + 1) << at.name;
            EXPECT_EQ(alerts.shown().last().messageText, "A save of “linked.md” was cut short.");
            EXPECT_TRUE(alerts.shown().last().informativeText.contains(left[0].after)) << at.name;
            EXPECT_TRUE(alerts.shown().last().informativeText.contains(left[0].before)) << at.name;
            EXPECT_EQ(unfinishedSaves(realWritePath(name)).size(), 1) << "kept until the user has them";
            removeUnfinishedSave(left[0]);
        } else {
            EXPECT_EQ(alerts.count(), asked) << at.name;
            EXPECT_TRUE(unfinishedSaves(realWritePath(name)).isEmpty()) << at.name << ": nothing lost to keep";
        }
        document->close();
        spinFor(std::chrono::milliseconds(10));
    }

    // A folder that takes no new file, around a file the user may write.
    const QString locked = path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    const QString inside = locked + "/kept.md";
    writeAll(inside, "old");
    const ino_t insideInode = statusOf(inside).st_ino;
    const int lockedFolder = ::open(QFile::encodeName(locked).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool immutable = false;
    if (geteuid() == 0) {
        // Permissions do not stop root; an immutable folder does.
        int set = 0;
        if (ioctl(lockedFolder, FS_IOC_GETFLAGS, &flags) == 0) {
            set = flags | FS_IMMUTABLE_FL;
            immutable = ioctl(lockedFolder, FS_IOC_SETFLAGS, &set) == 0;
        }
    } else {
        immutable = chmod(QFile::encodeName(locked).constData(), 0500) == 0;
    }
    if (immutable) {
        EXPECT_FALSE(QFile(locked + "/new.md").open(QIODevice::WriteOnly)) << "the folder takes new files";
        ASSERT_TRUE(writeFileAtomically(inside, "written where it is", &error, &report)) << error.toStdString();
        EXPECT_TRUE(report.inPlace);
        EXPECT_EQ(readAll(inside), "written where it is");
        EXPECT_EQ(statusOf(inside).st_ino, insideInode);
        if (geteuid() == 0)
            ioctl(lockedFolder, FS_IOC_SETFLAGS, &flags);
        else
            chmod(QFile::encodeName(locked).constData(), 0700);
    }
    ::close(lockedFolder);
    if (!immutable)
        GTEST_SKIP() << "no folder refusing new files could be made here (no immutable flag on this file system)";
}

// Where the new file cannot be given the old one's group (a group the user
// is not in), the file is written where it is, keeping it. Where that cannot
// be done either (no safe copy could be made), the saved file's group may do
// no more than everybody may, and the user is told.
TEST_F(DocumentsFixture, WhereTheGroupCannotBeKeptTheSavedFileGivesNobodyMoreAccessAndSaysSo) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to a group that its user is not in, and save as that user";
    const struct passwd *nobody = getpwnam("nobody");
    ASSERT_TRUE(nobody);
    const uid_t user = nobody->pw_uid;
    const gid_t ownGroup = nobody->pw_gid;
    const gid_t group = *anotherGroup();
    ASSERT_NE(group, ownGroup);
    ASSERT_EQ(chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
    const QString shared = path("shared");
    const QString copies = path("copies of nobody");
    ASSERT_TRUE(QDir().mkdir(shared) && QDir().mkdir(copies));
    for (const QString &made : {shared, copies})
        ASSERT_EQ(chown(QFile::encodeName(made).constData(), user, ownGroup), 0);
    const QString file = shared + "/notes.md";
    writeAll(file, "old");
    ASSERT_EQ(chown(QFile::encodeName(file).constData(), user, group), 0);
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0640), 0);
    BytesDocument *document = static_cast<BytesDocument *>(controller.openDocument(file, false));
    ASSERT_TRUE(document);
    const ino_t inode = statusOf(file).st_ino;
    auto saveAsNobody = [&](const QString &data, const QByteArray &text) {
        return runAs(user, ownGroup, [&] {
            Folders::setLayout(Folders::Layout{data, {}, data, data, data});
            document->edit(text);
            if (!document->saveDocument())
                return false;
            if (text != "narrowed")
                return alerts.count() == 0;
            // Told, in a notice that takes no keys, what became of the group.
            const struct group *named = getgrgid(group);
            const QString groupName = named ? QString::fromLocal8Bit(named->gr_name) : QString::number(group);
            return alerts.count() == 1 && alerts.shown().last().notice &&
                   alerts.shown().last().informativeText.contains(groupName);
        });
    };
    EXPECT_EQ(saveAsNobody(copies, "kept"), 0);
    EXPECT_EQ(readAll(file), "kept");
    struct stat after = statusOf(file);
    EXPECT_EQ(after.st_gid, group) << "the group was not kept";
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_EQ(after.st_ino, inode) << "written where it is";

    // No copy of it can be made: a new file, whose group is nobody's own and
    // may do only what everybody may (nothing).
    EXPECT_EQ(saveAsNobody(path("no copies here"), "narrowed"), 0);
    EXPECT_EQ(readAll(file), "narrowed");
    after = statusOf(file);
    EXPECT_EQ(after.st_uid, user);
    EXPECT_EQ(after.st_gid, ownGroup);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
}

TEST(FilePresenter, TellsEachChangeOnceAndFollowsRenameSaves) {
    QTemporaryDir folder;
    const QString file = folder.filePath("watched.md");
    writeAll(file, "one");
    int told = 0;
    FilePresenter presenter;
    QObject::connect(&presenter, &FilePresenter::changed, [&] { told++; });
    presenter.setDebounce(std::chrono::milliseconds(30));
    ASSERT_TRUE(presenter.setPath(file));

    // A burst of writes is one change.
    for (int i = 0; i < 5; i++) {
        QFile append(file);
        ASSERT_TRUE(append.open(QIODevice::Append));
        append.write("more");
    }
    ASSERT_TRUE(spinUntil([&] { return told == 1; }));
    spinFor(std::chrono::milliseconds(80));
    EXPECT_EQ(told, 1);

    // Other files of the folder are not this file.
    writeAll(folder.filePath("other.md"), "x");
    spinFor(std::chrono::milliseconds(80));
    EXPECT_EQ(told, 1);

    // A rename over the file, then a write in place of the new file: both seen.
    renameSave(file, "two");
    ASSERT_TRUE(spinUntil([&] { return told == 2; }));
    {
        QFile append(file);
        ASSERT_TRUE(append.open(QIODevice::Append));
        append.write("three");
    }
    ASSERT_TRUE(spinUntil([&] { return told == 3; }));

    // Written through a second name (a hard link in another folder).
    QTemporaryDir elsewhere;
    const QString other = elsewhere.filePath("same.md");
    if (::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()) == 0) {
        QFile append(other);
        ASSERT_TRUE(append.open(QIODevice::Append));
        append.write("four");
        append.close();
        ASSERT_TRUE(spinUntil([&] { return told == 4; }));
    }
    presenter.setPath(QString());
    writeAll(file, "unwatched");
    spinFor(std::chrono::milliseconds(80));
    EXPECT_LE(told, 4);
}

TEST_F(DocumentsFixture, OwnSavesAreNotOutsideChangesAndOtherProgramsAreHeard) {
    BytesDocument *document = open("a.txt", "disk");
    ASSERT_TRUE(document);
    document->presenter()->setDebounce(std::chrono::milliseconds(20));
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(document->contents, "disk");

    document->edit("mine");
    EXPECT_TRUE(document->isDocumentEdited());
    ASSERT_TRUE(document->saveDocument());
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(readAll(path("a.txt")), "mine");
    spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(document->outsideChanges, 0) << "its own save was taken for another program's";

    renameSave(path("a.txt"), "theirs");
    ASSERT_TRUE(spinUntil([&] { return document->outsideChanges == 1; }));
    EXPECT_EQ(alerts.count(), 0);
}

namespace {

// A document that saves in place and takes in another program's version as
// the program does: it reads the file and records what it saw.
class FollowingDocument : public BytesDocument {
public:
    QList<QByteArray> seen;
    int writes = 0;
    bool autosavesInPlace() const override { return true; }
    void presentedItemDidChange() override {
        FileState state;
        if (std::optional<QByteArray> bytes = readContentFile(&state, nullptr)) {
            seen.append(*bytes);
            contents = *bytes;
            noteFileOnDisk(state, *bytes);
        }
    }
    void didWrite(const QString &, const QString &, SaveOperation) override { writes++; }
};

}  // namespace

TEST_F(DocumentsFixture, AutosaveWritesSecondsAfterTheLastEditOnceForAWholeRunOfEdits) {
    EXPECT_LE(Document::kAutosaveDelay, std::chrono::seconds(3));
    controller.setDocumentFactory([](const QString &) { return new FollowingDocument; });
    auto *document = static_cast<FollowingDocument *>(open("typed.md", "start"));
    ASSERT_TRUE(document);
    // Keys for a second: nothing is written while they come.
    QElapsedTimer sinceLastKey;
    for (int key = 0; key < 10; key++) {
        document->edit("start" + QByteArray(key + 1, 'k'));
        sinceLastKey.start();
        spinFor(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(document->writes, 0);
    // The save waits for the delay after the last key (less the twentieth a
    // coarse timer may fire early); how much later it comes is the busy
    // machine's business, the delay itself is seconds.
    ASSERT_TRUE(spinUntil([&] { return document->writes > 0; }, std::chrono::seconds(60)));
    EXPECT_GE(sinceLastKey.elapsed(), Document::kAutosaveDelay.count() * 95 / 100) << "saved only once the keys paused";
    EXPECT_EQ(readAll(path("typed.md")), "startkkkkkkkkkk");
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(document->writes, 1);
    EXPECT_FALSE(document->isDocumentEdited());
}

// The save in place the program makes by itself, or that Save from the menu
// asks for, is written, put on the disk and hashed on a thread of its own:
// the main thread only takes the contents. One is in flight at a time; edits
// made meanwhile keep the document edited, and the saves asked for meanwhile
// become one more, of the newest contents. Quitting waits for the save in
// flight and then saves what came after it. The program's own writes are
// never taken for another program's.
TEST_F(DocumentsFixture, SavesInPlaceAreWrittenOffTheMainThreadOneAtATimeAndNothingAskedMeanwhileIsLost) {
    controller.setDocumentFactory([](const QString &) { return new FollowingDocument; });
    auto *document = static_cast<FollowingDocument *>(open("flight.md", "start"));
    ASSERT_TRUE(document);
    document->presenter()->setDebounce(std::chrono::milliseconds(20));
    testing_qt::SaveGate gate(SaveStep::Working);

    document->edit("first");
    document->autosaveInBackground();
    ASSERT_TRUE(gate.waitUntilHeld());
    EXPECT_TRUE(document->isSaving());
    document->edit("second");
    document->autosaveInBackground();
    document->edit("third");
    document->saveDocumentInBackground();
    document->autosaveInBackground();
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(readAll(path("flight.md")), "start");
    EXPECT_EQ(document->writes, 0);
    EXPECT_TRUE(document->isDocumentEdited());

    gate.open();
    ASSERT_TRUE(spinUntil([&] { return document->writes == 2 && !document->isSaving(); }));
    EXPECT_EQ(readAll(path("flight.md")), "third");
    EXPECT_FALSE(document->isDocumentEdited());
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(document->writes, 2) << "the saves asked for in flight made more than one more";
    EXPECT_TRUE(document->seen.isEmpty()) << "its own write was taken for another program's";
    // The main thread took the contents; their writing ran elsewhere.
    EXPECT_EQ(gate.where(SaveStep::Snapshot), std::make_pair(2, 0));
    EXPECT_EQ(gate.where(SaveStep::Working), std::make_pair(0, 2));
    EXPECT_EQ(gate.where(SaveStep::Written), std::make_pair(0, 2));

    // Quitting while a save is in flight: it is waited for, and then the
    // edits after it are saved before quitting goes on.
    gate.shut();
    gate.openWhenAwaited();
    document->edit("fourth");
    document->autosaveInBackground();
    ASSERT_TRUE(gate.waitUntilHeld(2));
    document->edit("fifth");
    EXPECT_TRUE(document->autosave());
    EXPECT_FALSE(document->isSaving());
    EXPECT_EQ(readAll(path("flight.md")), "fifth");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(document->writes, 4);
    EXPECT_EQ(gate.where(SaveStep::Awaited), std::make_pair(1, 0));
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(document->writes, 4);
    EXPECT_TRUE(document->seen.isEmpty());
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(DocumentsFixture, AFileCutShortIsTakenInOnlyOnceItHasSettled) {
    controller.setDocumentFactory([](const QString &) { return new FollowingDocument; });
    auto *document = static_cast<FollowingDocument *>(open("rewritten.md", "the text as it was saved"));
    ASSERT_TRUE(document);
    document->presenter()->setDebounce(std::chrono::milliseconds(20));
    document->setAutosaveDelay(std::chrono::milliseconds(20));
    document->edit("unsaved edits");

    // Another program empties the file, pauses, then writes it: the empty
    // file is never taken in, nor written over by the autosave.
    writeAll(path("rewritten.md"), QByteArray());
    spinFor(std::chrono::milliseconds(400));
    EXPECT_TRUE(document->seen.isEmpty());
    EXPECT_EQ(readAll(path("rewritten.md")), QByteArray());
    writeAll(path("rewritten.md"), "the text as the other program wrote it");
    ASSERT_TRUE(spinUntil([&] { return !document->seen.isEmpty(); }));
    EXPECT_EQ(document->seen, QList<QByteArray>{"the text as the other program wrote it"});
    // The edits still stand over the version taken in: their autosave,
    // once the file has settled, is let finish first, or the file emptied
    // below could be written over by a save under way, as another
    // program's write can be by any save it meets.
    ASSERT_TRUE(spinUntil([&] { return !document->isDocumentEdited() && !document->isSaving(); }));

    // A file emptied for good is taken in once it has stayed so a while.
    QElapsedTimer clock;
    clock.start();
    writeAll(path("rewritten.md"), QByteArray());
    ASSERT_TRUE(spinUntil([&] { return document->seen.size() == 2; }, std::chrono::seconds(5)));
    EXPECT_EQ(document->seen.last(), QByteArray());
    EXPECT_GE(clock.elapsed(), Document::kShrunkFileQuiet.count() - 50);
}

namespace {

struct stat entryOf(const QString &path) {
    struct stat info {};
    lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

bool isLink(const QString &path) { return S_ISLNK(entryOf(path).st_mode); }

// What stands at `a` and what stands at `b` trade places in one rename, as
// another user who may write the folder can make them.
bool exchange(const QString &a, const QString &b) {
    return renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD, QFile::encodeName(b).constData(),
                     RENAME_EXCHANGE) == 0;
}

// What takes the place of a document's file at one step of a save or a
// read, as another user who may write its folder can make it.
enum class Swap {
    Link,     // a link to one of the user's own files; the file goes beside it
    Gap,      // nothing, for a moment: the file moved beside it, as a swap
              // made in two renames leaves it
    Version,  // another program's version, renamed over the file
};

// Makes the swap the first time a step is reached, on whatever thread
// reaches it; back() makes the file's place the document's file again.
class PlaceSwap {
public:
    PlaceSwap(const QString &place, const QString &target)
        : m_place(place), m_aside(place + QStringLiteral(".aside~")), m_target(target) {}
    ~PlaceSwap() {
        setFileStepHook(nullptr);
        s_armed = nullptr;
    }
    void armAt(FileStep step, Swap swap) {
        m_step = step;
        m_swap = swap;
        m_swapped = false;
        s_armed = this;
        setFileStepHook([](FileStep reached) {
            PlaceSwap *armed = s_armed.load();
            if (armed && reached == armed->m_step && s_armed.compare_exchange_strong(armed, nullptr))
                armed->swapNow();
        });
    }
    bool swapped() const { return m_swapped; }
    bool swapNow() {
        const QByteArray place = QFile::encodeName(m_place);
        const QByteArray aside = QFile::encodeName(m_aside);
        switch (m_swap) {
        case Swap::Link:
            m_swapped = QFile::link(m_target, m_aside) && exchange(m_place, m_aside);
            break;
        case Swap::Gap:
            m_swapped = ::rename(place.constData(), aside.constData()) == 0;
            break;
        case Swap::Version: {
            QFile version(m_aside);
            m_swapped = version.open(QIODevice::WriteOnly) && version.write("theirs") == 6 && version.flush() &&
                        ::rename(aside.constData(), place.constData()) == 0;
            break;
        }
        }
        return m_swapped;
    }
    QString aside() const { return m_aside; }
    // The link leaves, and the file takes its place again, unless a save has
    // put the document's file there already (the old file beside it goes).
    void back() {
        if (isLink(m_place))
            exchange(m_place, m_aside);
        else if (!QFileInfo::exists(m_place))
            ::rename(QFile::encodeName(m_aside).constData(), QFile::encodeName(m_place).constData());
        ::unlink(QFile::encodeName(m_aside).constData());
    }

private:
    static inline std::atomic<PlaceSwap *> s_armed{nullptr};
    const QString m_place;
    const QString m_aside;
    const QString m_target;
    FileStep m_step = FileStep::Creating;
    Swap m_swap = Swap::Link;
    std::atomic<bool> m_swapped{false};
};

bool sameFile(const FileState &known, const struct stat &entry) {
    return known.exists && known.device == quint64(entry.st_dev) && known.inode == quint64(entry.st_ino);
}

// Another user swapping a link to `target` into the place of a file and
// back, on a thread of their own, with pauses of up to `longest` drawn from
// `seed`, until stopped. A save that put the document's file over the
// link leaves the old file beside it: it goes, and a new link is made.
class LinkSwapper {
public:
    LinkSwapper(const QString &place, const QString &target, unsigned seed, std::chrono::microseconds longest)
        : m_place(place), m_aside(place + QStringLiteral(".aside~")), m_target(target) {
        m_thread = std::thread([this, seed, longest] { run(seed, longest); });
    }
    ~LinkSwapper() { stop(); }
    // Waits until the link stands in the place, and keeps it there until
    // release().
    void hold() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_holdWanted = true;
        m_changed.wait(lock, [&] { return m_holding; });
    }
    void release() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_holdWanted = false;
        }
        m_changed.notify_all();
    }
    // Stops, leaving a file in the place rather than the link.
    void stop() {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        release();
        m_thread.join();
        if (isLink(m_place))
            exchange(m_place, m_aside);
        ::unlink(QFile::encodeName(m_aside).constData());
    }

private:
    void run(unsigned seed, std::chrono::microseconds longest) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> pause(int(longest.count() / 15), int(longest.count()));
        while (!m_stop) {
            QFile::link(m_target, m_aside);
            exchange(m_place, m_aside);
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_holdWanted && isLink(m_place)) {
                    m_holding = true;
                    m_changed.notify_all();
                    m_changed.wait(lock, [&] { return !m_holdWanted; });
                    m_holding = false;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
            if (isLink(m_place))
                exchange(m_place, m_aside);
            ::unlink(QFile::encodeName(m_aside).constData());
            std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        }
    }

    const QString m_place;
    const QString m_aside;
    const QString m_target;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holdWanted = false;
    bool m_holding = false;
};

}  // namespace

// A link to one of the user's own files put in the place of the document's
// file at any step between a look at the file and what a save or a read
// does after it, and taken away again: the user's file is never written nor
// read, the document knows its own file afterwards (its next save asks
// nothing), the save keeps what the file had besides its bytes, and nothing
// is said to have been lost that was not. Another program's version renamed
// over the file before a write in place is not written over unseen.
TEST_F(DocumentsFixture, WhatTakesTheFilesPlaceDuringASaveOrAReadIsNeverFollowedNorWrittenOverUnseen) {
    controller.setDocumentFactory([](const QString &) { return new FollowingDocument; });
    QTemporaryDir home;
    QTemporaryDir elsewhere;
    const QByteArray secretText = "the user's own, never to be shared";

    struct Case {
        FileStep step;
        Swap swap;
        const char *name;
        bool otherName;  // a hard link elsewhere: written in place
        bool saves;      // the save still writes the document's file
    };
    const Case cases[] = {
        {FileStep::Creating, Swap::Link, "a link before the new file is made", false, true},
        {FileStep::Creating, Swap::Gap, "the place empty before the new file is made", false, true},
        {FileStep::Renaming, Swap::Link, "a link before the new file is renamed", false, true},
        {FileStep::Renaming, Swap::Version, "another program's version before the new file is renamed", false, false},
        {FileStep::Written, Swap::Link, "a link after the rename", false, true},
        {FileStep::Written, Swap::Link, "a link after a write in place", true, true},
        {FileStep::WritingInPlace, Swap::Link, "a link before a write in place", true, false},
        {FileStep::WritingInPlace, Swap::Version, "another program's version before a write in place", true, false},
        {FileStep::Reading, Swap::Link, "a link before a reload reads", false, false},
    };
    int number = 0;
    for (const Case &at : cases) {
        SCOPED_TRACE(at.name);
        const QString name = QStringLiteral("case%1.md").arg(++number);
        const QString file = path(name);
        const QString secret = home.filePath(name + QStringLiteral(".secret"));
        writeAll(secret, secretText);
        const ino_t secretInode = entryOf(secret).st_ino;
        auto *document = static_cast<FollowingDocument *>(open(name, "start"));
        ASSERT_TRUE(document);
        document->presenter()->setDebounce(std::chrono::milliseconds(20));
        document->setAutosaveDelay(std::chrono::hours(1));
        const QString otherName = elsewhere.filePath(name);
        if (at.otherName) {
            ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(otherName).constData()), 0);
        }
        // Another user may read and write it, by its access list.
        const QByteArray list = accessList(6, 4244, 6, 4, 6, 0);
        const bool listed =
            lsetxattr(QFile::encodeName(file).constData(), kAccessList, list.constData(), size_t(list.size()), 0) == 0;
        const bool tagged = lsetxattr(QFile::encodeName(file).constData(), "user.kept", "yes", 3, 0) == 0;
        const std::optional<QByteArray> listBefore = attributeOf(file, kAccessList);
        const qsizetype alertsBefore = alerts.count();

        PlaceSwap swap(file, secret);
        swap.armAt(at.step, at.swap);
        if (at.step == FileStep::Reading) {
            // Another program's version, which the document reads to take in.
            renameSave(file, "theirs");
            ASSERT_TRUE(spinUntil([&] { return swap.swapped(); }));
        } else {
            document->edit("saved");
            document->saveDocumentInBackground();
            ASSERT_TRUE(spinUntil([&] { return swap.swapped() && !document->isSaving(); }));
        }
        if (at.saves) {
            EXPECT_FALSE(document->isDocumentEdited());
            // The file the save wrote: in the document's place, or beside
            // the link that took it after the write.
            const QString written = isLink(file) ? swap.aside() : file;
            EXPECT_EQ(readAll(written), "saved");
            EXPECT_TRUE(sameFile(document->knownFileState(), entryOf(written)))
                << "the document took another file for the one it wrote";
            if (tagged) {
                EXPECT_EQ(attributeOf(written, "user.kept"), QByteArray("yes"))
                    << "the attribute was taken from elsewhere than the old file";
            }
            if (listed) {
                EXPECT_EQ(attributeOf(written, kAccessList), listBefore) << "the access list was not the old file's";
            }
        } else if (at.step != FileStep::Reading) {
            // Told, as Save's failure: the text stays unsaved.
            EXPECT_TRUE(document->isDocumentEdited());
            ASSERT_GT(alerts.count(), alertsBefore);
            EXPECT_EQ(alerts.shown().last().messageText,
                      QStringLiteral("The document “%1” could not be saved.").arg(name));
            EXPECT_TRUE(alerts.shown().last().informativeText.contains("was replaced"))
                << alerts.shown().last().informativeText.toStdString();
            if (at.otherName) {
                EXPECT_EQ(readAll(otherName), "start");
            }
        }
        if (at.swap == Swap::Version) {
            EXPECT_EQ(readAll(file), "theirs") << "another program's version was written over unseen";
            ASSERT_TRUE(spinUntil([&] { return document->contents == "theirs"; })) << "their version never came in";
        }
        // While the link stands, the document looks at its file, and is saved.
        spinFor(std::chrono::milliseconds(100));
        document->edit(document->contents + " again");
        document->saveDocument();  // asked about the file the link leads to: Cancel
        EXPECT_EQ(readAll(secret), secretText);
        swap.back();
        spinFor(std::chrono::milliseconds(100));  // what the swap's changes bring
        if (at.step == FileStep::Reading) {
            ASSERT_TRUE(spinUntil([&] { return document->contents == "theirs"; })) << "their version never came in";
        }

        EXPECT_EQ(readAll(secret), secretText);
        EXPECT_EQ(entryOf(secret).st_ino, secretInode);
        EXPECT_FALSE(document->contents.contains(secretText));
        for (const QByteArray &seen : std::as_const(document->seen))
            EXPECT_NE(seen, secretText) << "the user's file was read into the document";
        EXPECT_TRUE(sameFile(document->knownFileState(), entryOf(file)))
            << "the document took another file for its own";
        for (qsizetype i = alertsBefore; i < alerts.count(); i++) {
            EXPECT_FALSE(alerts.shown()[i].messageText.contains("could not stay as it was"))
                << alerts.shown()[i].informativeText.toStdString();
        }

        // The next save writes the document's own file, without a question.
        const qsizetype asked = alerts.count();
        document->edit("next");
        EXPECT_TRUE(document->saveDocument());
        EXPECT_EQ(alerts.count(), asked) << alerts.shown().last().messageText.toStdString();
        EXPECT_EQ(readAll(file), "next");
        EXPECT_EQ(readAll(secret), secretText);
        EXPECT_TRUE(sameFile(document->knownFileState(), entryOf(file)));
        document->close();
    }

    // Reverting does not read the user's file either, once a link has taken
    // the document's place.
    auto *reverted = static_cast<FollowingDocument *>(open("revert.md", "as saved"));
    ASSERT_TRUE(reverted);
    reverted->edit("edited");
    const QString secret = home.filePath("revert.secret");
    writeAll(secret, secretText);
    PlaceSwap swap(path("revert.md"), secret);
    ASSERT_TRUE(swap.swapNow());
    alerts.addAnswers({0});  // Revert
    EXPECT_FALSE(reverted->revertDocumentToSaved());
    EXPECT_EQ(reverted->contents, "edited");
    EXPECT_TRUE(reverted->isDocumentEdited());
}

// Saves of every kind, one after another, while another user swaps the
// document's file for a link to one of the user's own files and back, as
// fast as they can: whatever each save meets, the user's file keeps its
// text, none of it reaches the document, and the document never takes it
// for its own file.
TEST_F(DocumentsFixture, SavesWhileALinkComesAndGoesInTheFilesPlaceNeverReachWhereItLeads) {
    controller.setDocumentFactory([](const QString &) { return new FollowingDocument; });
    QTemporaryDir home;
    const QString secret = home.filePath("secret.txt");
    const QByteArray secretText = "the user's own, never to be shared";
    writeAll(secret, secretText);
    const struct stat secretEntry = entryOf(secret);
    auto *document = static_cast<FollowingDocument *>(open("shared.md", "start"));
    ASSERT_TRUE(document);
    document->presenter()->setDebounce(std::chrono::milliseconds(5));
    document->setAutosaveDelay(std::chrono::hours(1));
    const QString file = path("shared.md");

    constexpr unsigned kSeed = 20240611;
    LinkSwapper swapper(file, secret, kSeed, std::chrono::microseconds(1500));
    std::mt19937 random(kSeed + 1);
    for (int save = 0; save < 200; save++) {
        SCOPED_TRACE(save);
        document->edit(document->contents + QByteArray::number(save % 10));
        switch (random() % 3) {
        case 0:
            document->saveDocument();  // a question about another file: Cancel
            break;
        case 1:
            document->autosave();
            break;
        default:
            document->saveDocumentInBackground();
            spinUntil([&] { return !document->isSaving(); });
        }
        QCoreApplication::processEvents();
        const bool secretKept = readAll(secret) == secretText && entryOf(secret).st_ino == secretEntry.st_ino;
        const bool takenIn = document->contents.contains(secretText);
        const bool takenForOwn = sameFile(document->knownFileState(), secretEntry);
        if (!secretKept || takenIn || takenForOwn) {
            swapper.stop();
            ASSERT_TRUE(secretKept) << "the user's file was written";
            ASSERT_FALSE(takenIn) << "the user's file was read into the document";
            ASSERT_FALSE(takenForOwn) << "the document took the user's file for its own";
        }
    }
    swapper.stop();

    // Once the link is gone, the document saves its own file without asking.
    ASSERT_TRUE(spinUntil([&] { return sameFile(document->knownFileState(), entryOf(file)); }))
        << "the document does not know its own file";
    const qsizetype asked = alerts.count();
    document->edit("last");
    EXPECT_TRUE(document->saveDocument());
    EXPECT_EQ(alerts.count(), asked);
    EXPECT_EQ(readAll(file), "last");
    EXPECT_EQ(readAll(secret), secretText);
}

// A file opened again and again while another user swaps a link to one of
// the user's own files in and out of its place: each time the document is
// wholly one file or the other (its text, which file it knows and where),
// never one file's text or place with the other's identity, which its
// saves would follow into the user's file.
TEST_F(DocumentsFixture, AFileOpenedWhileALinkComesAndGoesInItsPlaceIsWhollyOneFile) {
    controller.setDocumentFactory([](const QString &) { return new FollowingDocument; });
    QTemporaryDir home;
    const QString secret = home.filePath("secret.txt");
    const QByteArray secretText = "the user's own, never to be shared";
    writeAll(secret, secretText);
    const struct stat secretEntry = entryOf(secret);
    const QString file = path("shared.md");
    writeAll(file, "shared");
    const struct stat sharedEntry = entryOf(file);

    // Faster than the other's saves: an open takes a fraction of a save.
    LinkSwapper swapper(file, secret, 20240612, std::chrono::microseconds(150));
    int opened = 0;
    for (int opening = 0; opening < 200; opening++) {
        SCOPED_TRACE(opening);
        auto *document = static_cast<FollowingDocument *>(controller.openDocument(file, false));
        if (!document)
            continue;  // told: it kept changing while it was read
        opened++;
        document->setAutosaveDelay(std::chrono::hours(1));
        const bool throughTheLink = document->contents == secretText;
        EXPECT_TRUE(throughTheLink || document->contents == "shared") << document->contents.toStdString();
        EXPECT_TRUE(sameFile(document->knownFileState(), throughTheLink ? secretEntry : sharedEntry))
            << "its text is one file's, what it knows another's";
        if (!throughTheLink) {
            // With the link in its place, the shared file's document does
            // not save into the user's file.
            swapper.hold();
            document->edit("typed");
            document->autosave();
            swapper.release();
            ASSERT_EQ(readAll(secret), secretText) << "it took the user's file's place for its own";
        }
        document->close();
        spinFor(std::chrono::milliseconds(1));
    }
    swapper.stop();
    EXPECT_GT(opened, 100);
    EXPECT_EQ(readAll(secret), secretText);
}

namespace {

// Runs `body` in a child process that dies at `step` of a write, as a kill
// (kill -9) would end it there; true when it died so.
FileStep s_crashFileStep;
bool crashesAtFileStep(FileStep step, const std::function<void()> &body) {
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        s_crashFileStep = step;
        setFileStepHook([](FileStep reached) {
            if (reached == s_crashFileStep)
                raise(SIGKILL);
        });
        body();
        _exit(0);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// The hidden entries beside `file` whose names begin with its own.
QStringList hiddenBeside(const QString &file) {
    const QFileInfo info(file);
    return QDir(info.absolutePath())
        .entryList({"." + info.fileName() + ".*"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace

// A save killed after it made its new file beside the file, before that
// file took the file's place, leaves it there, hidden, named as only this
// program names a save's file. Each later open of the file tells the user
// where it is while it holds any other text than the file (the file's
// beginning, or the file's text with more, may be the newest text), and
// removes it, silently, once the file holds exactly its text. Nothing else
// beside the file is touched: another program's file of a like name, a
// link or a folder named as a save's file, another user's file, the file
// of a save under way.
TEST_F(DocumentsFixture, ASaveCutShortLeavesItsNewFileWhichEachOpenTellsOfUntilTheFileHoldsItsText) {
    const QString name = path("notes.md");
    QByteArray old, fresh;
    for (int i = 0; i < 20000; i++) {
        old += "line " + QByteArray::number(i) + "\n";
        fresh += "the new line " + QByteArray::number(i) + "\n";
    }
    writeAll(name, old);
    // Killed before it made its new file: nothing is left.
    ASSERT_TRUE(crashesAtFileStep(FileStep::Creating, [&] { writeFileAtomically(name, fresh); }));
    EXPECT_EQ(hiddenBeside(name), QStringList());
    // Killed with the new text written and on the disk, before the rename.
    ASSERT_TRUE(crashesAtFileStep(FileStep::Renaming, [&] { writeFileAtomically(name, fresh); }));
    EXPECT_EQ(readAll(name), old);
    const QStringList made = hiddenBeside(name);
    ASSERT_EQ(made.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^\.notes\.md\.orvane-save-[A-Za-z0-9]{12}$)").match(made[0]).hasMatch())
        << made[0].toStdString();
    const QString cutShort = path(made[0]);
    EXPECT_EQ(readAll(cutShort), fresh);

    // What is not a save's file of this file, holding its text: another
    // program's files of like names, another file's, a link and a folder
    // named as a save's.
    QTemporaryDir home;
    const QString secret = home.filePath("secret.txt");
    writeAll(secret, old);
    const QStringList notOurs = {".notes.md.Xy12Ab", ".notes.md.orvane-save-short", ".notes.md.orvane-save-ABCDEFGHIJKLM",
                                 ".notes.md.orvane-save-ABCDEF-HIJKL", ".other.md.orvane-save-ABCDEFGHIJKL"};
    for (const QString &other : notOurs)
        writeAll(path(other), old);
    ASSERT_TRUE(QFile::link(secret, path(".notes.md.orvane-save-LinkLinkLink")));
    ASSERT_TRUE(QDir(folder.path()).mkdir(".notes.md.orvane-save-FolderFolder"));
    auto untouched = [&] {
        for (const QString &other : notOurs)
            EXPECT_EQ(readAll(path(other)), old) << other.toStdString();
        EXPECT_TRUE(isLink(path(".notes.md.orvane-save-LinkLinkLink")));
        EXPECT_TRUE(QFileInfo(path(".notes.md.orvane-save-FolderFolder")).isDir());
        EXPECT_EQ(readAll(secret), old);
    };
    auto openAndClose = [&] {
        Document *document = controller.openDocument(name, false);
        EXPECT_TRUE(document);
        if (document)
            document->close();
        spinFor(std::chrono::milliseconds(10));
    };

    // Told at each open, where it is; kept.
    for (int opening = 0; opening < 3; opening++) {
        SCOPED_TRACE(opening);
        const qsizetype asked = alerts.count();
        openAndClose();
        ASSERT_EQ(alerts.count(), asked + 1);
        EXPECT_EQ(alerts.shown().last().messageText, "A save of “notes.md” was cut short.");
        const QString told = alerts.shown().last().informativeText;
        EXPECT_TRUE(told.contains(QStringLiteral("“%1”").arg(cutShort))) << told.toStdString();
        EXPECT_TRUE(told.contains("newest")) << told.toStdString();
        EXPECT_EQ(readAll(cutShort), fresh);
        untouched();
    }

    // The beginning of the file's text, and the file's text with more: each
    // may be the newest, and is told of with the first.
    const QString beginning = path(".notes.md.orvane-save-Beginning123");
    const QString longer = path(".notes.md.orvane-save-Longer123456");
    writeAll(beginning, old.left(old.size() / 2));
    writeAll(longer, old + "one more line\n");
    qsizetype asked = alerts.count();
    openAndClose();
    ASSERT_EQ(alerts.count(), asked + 1);
    EXPECT_EQ(alerts.shown().last().messageText, "Saves of “notes.md” were cut short.");
    for (const QString &kept : {cutShort, beginning, longer}) {
        EXPECT_TRUE(alerts.shown().last().informativeText.contains(kept)) << kept.toStdString();
        EXPECT_TRUE(QFileInfo::exists(kept)) << kept.toStdString();
    }

    // The file holds the text kept (the user took it in): that one goes,
    // unsaid; the others hold text the file lacks now.
    writeAll(name, fresh);
    asked = alerts.count();
    openAndClose();
    ASSERT_EQ(alerts.count(), asked + 1);
    EXPECT_FALSE(QFileInfo::exists(cutShort));
    EXPECT_FALSE(alerts.shown().last().informativeText.contains(cutShort));
    EXPECT_TRUE(QFileInfo::exists(beginning));
    EXPECT_TRUE(QFileInfo::exists(longer));
    ::unlink(QFile::encodeName(beginning).constData());
    ::unlink(QFile::encodeName(longer).constData());
    untouched();

    // A save under way (another program's start, writing the same file)
    // holds its new file: it is left to that save, unsaid, even where it
    // holds the file's text.
    const QString inFlight = path(".notes.md.orvane-save-InFlight1234");
    writeAll(inFlight, fresh);
    const int held = ::open(QFile::encodeName(inFlight).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    asked = alerts.count();
    openAndClose();
    EXPECT_EQ(alerts.count(), asked);
    EXPECT_TRUE(QFileInfo::exists(inFlight));
    ::close(held);
    openAndClose();
    EXPECT_EQ(alerts.count(), asked);
    EXPECT_FALSE(QFileInfo::exists(inFlight)) << "the file holds its text: nothing of it is lost";

    // Another user's file, named as a save's (root alone can make one).
    if (geteuid() == 0) {
        const QString theirs = path(".notes.md.orvane-save-AnotherUser1");
        writeAll(theirs, fresh);
        ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 4244, 4244), 0);
        openAndClose();
        EXPECT_EQ(alerts.count(), asked);
        EXPECT_TRUE(QFileInfo::exists(theirs));
    }
    untouched();
}

TEST_F(DocumentsFixture, AFileTooLargeToEditComfortablyOpensOnlyWhenTheUserAgrees) {
    const QByteArray large(DocumentController::kLargeDocumentBytes + 1, 'x');
    writeAll(path("large.md"), large);
    alerts.addAnswers({1});  // No
    EXPECT_EQ(controller.openDocument(path("large.md"), false), nullptr);
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText,
              QStringLiteral("The document “large.md” is large: %1. Do you want to open it?")
                  .arg(QLocale().formattedDataSize(large.size(), 1, QLocale::DataSizeTraditionalFormat)));
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Open", "No"}));
    EXPECT_TRUE(controller.documents().isEmpty());
    EXPECT_EQ(QFileInfo(path("large.md")).size(), large.size());

    alerts.addAnswers({0});  // Open
    auto *opened = static_cast<BytesDocument *>(controller.openDocument(path("large.md"), false));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->contents.size(), large.size());
    EXPECT_EQ(alerts.count(), 2);

    // Up to the limit, a file opens without a question.
    writeAll(path("limit.md"), QByteArray(DocumentController::kLargeDocumentBytes, 'y'));
    EXPECT_TRUE(controller.openDocument(path("limit.md"), false));
    EXPECT_EQ(alerts.count(), 2);
}

TEST_F(DocumentsFixture, UntitledNumbersRecentFilesAndOneDocumentPerFile) {
    Document *first = controller.openUntitledDocument(false);
    Document *second = controller.openUntitledDocument(false);
    EXPECT_EQ(first->displayName(), "Untitled");
    EXPECT_EQ(second->displayName(), "Untitled 2");
    first->close();
    spinFor(std::chrono::milliseconds(10));
    EXPECT_EQ(controller.openUntitledDocument(false)->displayName(), "Untitled");

    BytesDocument *a = open("a.md", "a");
    EXPECT_EQ(controller.openDocument(path("a.md"), false), a);
    EXPECT_EQ(controller.openDocument(folder.path() + "/./a.md", false), a);
    for (int i = 0; i < DocumentController::kMaximumRecentDocuments + 2; i++)
        open(QStringLiteral("r%1.md").arg(i), "x");
    const QStringList recent = controller.recentDocumentPaths();
    EXPECT_EQ(recent.size(), DocumentController::kMaximumRecentDocuments);
    EXPECT_EQ(recent.first(), path("r11.md"));
    QFile::remove(path("r11.md"));
    EXPECT_EQ(controller.recentDocumentPaths().first(), path("r10.md"));

    // A file that cannot be read is reported, and no document is made.
    EXPECT_EQ(controller.openDocument(path("missing.md"), false), nullptr);
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “missing.md” could not be opened.");
    EXPECT_EQ(alerts.shown().last().informativeText, "It does not exist.");
    // Nor is a pipe named like a document read: opening it would wait for a
    // writer that never comes.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.md")).constData(), 0600), 0);
    EXPECT_EQ(controller.openDocument(path("pipe.md"), false), nullptr);
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “pipe.md” could not be opened.");
    EXPECT_EQ(alerts.shown().last().informativeText, "It is not a plain file.");
}

// Files opened together (a start's, or a later start's handed over): those
// that cannot be opened are told in one alert once all were tried, the
// first of them named, the rest counted; one alone is told as it always is.
TEST_F(DocumentsFixture, FilesOpenedTogetherThatCannotBeOpenedAreToldInOneAlert) {
    writeAll(path("here.md"), "text");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.md")).constData(), 0600), 0);
    {
        DocumentController::OpenBatch batch(controller);
        for (int i = 0; i < 250; i++) {
            EXPECT_EQ(controller.openDocument(path(QStringLiteral("gone%1.md").arg(i)), false), nullptr);
            if (i == 0) {
                // A batch within a batch: told with the outer one.
                DocumentController::OpenBatch inner(controller);
                EXPECT_EQ(controller.openDocument(path("pipe.md"), false), nullptr);
                EXPECT_NE(controller.openDocument(path("here.md"), false), nullptr);
            }
        }
        EXPECT_EQ(alerts.count(), 0) << "nothing is told before all were tried";
    }
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText, "251 documents could not be opened.");
    const QStringList lines = alerts.shown().last().informativeText.split('\n');
    ASSERT_EQ(lines.size(), DocumentController::kMostListedFailures + 1);
    EXPECT_EQ(lines.at(0), path("gone0.md") + ": It does not exist.");
    EXPECT_EQ(lines.at(1), path("pipe.md") + ": It is not a plain file.");
    EXPECT_EQ(lines.at(2), path("gone1.md") + ": It does not exist.");
    EXPECT_EQ(lines.last(), "And 241 more.");

    // One alone, in a batch or not, as it always was; none when all open.
    {
        DocumentController::OpenBatch batch(controller);
        EXPECT_EQ(controller.openDocument(path("missing.md"), false), nullptr);
    }
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “missing.md” could not be opened.");
    EXPECT_EQ(alerts.shown().last().informativeText, "It does not exist.");
    {
        DocumentController::OpenBatch batch(controller);
        EXPECT_NE(controller.openDocument(path("here.md"), false), nullptr);
    }
    EXPECT_EQ(alerts.count(), 2);
}

TEST_F(DocumentsFixture, ClosingAnEditedDocumentAsksOrSavesInPlace) {
    // Untitled: Cancel keeps it, Save goes through the save panel, Don't
    // Save drops the edits.
    auto *untitled = static_cast<BytesDocument *>(controller.openUntitledDocument(false));
    untitled->setFileType(types::kPlainText);
    untitled->edit("words");
    alerts.addAnswers({2});
    EXPECT_FALSE(untitled->canClose());
    EXPECT_EQ(alerts.shown().last().messageText, "Do you want to save the changes made to the document “Untitled”?");
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    alerts.addAnswers({0});
    panels.answerSave(ScriptedPanels::SaveAnswer{path("kept"), QString()});
    EXPECT_TRUE(untitled->canClose());
    EXPECT_EQ(readAll(path("kept.txt")), "words") << "the panel's type gives the extension";
    EXPECT_EQ(untitled->filePath(), path("kept.txt"));

    auto *other = static_cast<BytesDocument *>(controller.openUntitledDocument(false));
    other->edit("gone");
    alerts.addAnswers({1});
    EXPECT_TRUE(other->canClose());

    // With a file and autosave in place: saved without a question.
    Defaults::standard().setBool(true, "enableLionSaveFeatures");
    struct Autosaving : BytesDocument {
        bool autosavesInPlace() const override { return true; }
    };
    controller.setDocumentFactory([](const QString &) { return new Autosaving; });
    BytesDocument *saved = open("auto.md", "before");
    saved->edit("after");
    const qsizetype asked = alerts.count();
    EXPECT_TRUE(saved->canClose());
    EXPECT_EQ(alerts.count(), asked);
    EXPECT_EQ(readAll(path("auto.md")), "after");

    // ... and saved by itself a moment after an edit.
    saved->setAutosaveDelay(std::chrono::milliseconds(20));
    saved->edit("later");
    ASSERT_TRUE(spinUntil([&] { return readAll(path("auto.md")) == "later" && !saved->isSaving(); }));
    EXPECT_FALSE(saved->isDocumentEdited());
}

TEST_F(DocumentsFixture, AFailedSaveIsReportedAndChangesNothing) {
    BytesDocument *document = open("b.md", "on disk");
    document->edit("unsaved");
    const FileState known = document->knownFileState();
    // A folder stands where Save As would write.
    ASSERT_TRUE(QDir(folder.path()).mkdir("taken.md"));
    EXPECT_FALSE(document->saveToPath(path("taken.md"), types::kMarkdownType, SaveOperation::SaveAs));
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “b.md” could not be saved.");
    EXPECT_EQ(document->filePath(), path("b.md"));
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(document->knownFileState(), known);
    EXPECT_EQ(readAll(path("b.md")), "on disk");
}

TEST_F(DocumentsFixture, WindowsKeepTheirFramesAndAskBeforeClosing) {
    EXPECT_EQ(WindowController::frameFromString("10 20 300 400"), QRect(10, 20, 300, 400));
    EXPECT_FALSE(WindowController::frameFromString("10 20 0 400"));
    EXPECT_FALSE(WindowController::frameFromString("ten"));

    BytesDocument *document = open("framed.md", "x");
    WindowController *controller = document->windowControllers().first();
    Defaults::standard().setObject("40 50 640 480", WindowController::frameKey("framed"));
    controller->setFrameAutosaveName("framed");
    EXPECT_EQ(controller->window()->geometry().size(), QSize(640, 480));
    controller->window()->resize(700, 500);
    controller->saveFrameUsingName("framed");
    EXPECT_TRUE(Defaults::standard().stringForKey(WindowController::frameKey("framed")).endsWith("700 500"));

    // The window's close button asks the document.
    document->edit("y");
    alerts.addAnswers({2});
    EXPECT_FALSE(controller->window()->close());
    EXPECT_EQ(controller->document(), document);
    alerts.addAnswers({1});
    EXPECT_TRUE(controller->window()->close());
    spinFor(std::chrono::milliseconds(10));
    EXPECT_TRUE(this->controller.documents().isEmpty());
}

// Two documents' windows as tabs of one window: the group's frame is kept
// under the name of the tab in front, only while it is in front, a frame a
// tab takes does not move the group window, and the selected tab's document
// is the current one.
TEST_F(DocumentsFixture, TabsKeepTheirGroupsFrameWhileInFrontAndTheSelectedOneIsCurrent) {
    BytesDocument *first = open("first.md", "1");
    BytesDocument *second = open("second.md", "2");
    WindowController *one = first->windowControllers().first();
    WindowController *two = second->windowControllers().first();
    Defaults &defaults = Defaults::standard();
    const auto kept = [&](const char *name) { return defaults.stringForKey(WindowController::frameKey(name)); };
    defaults.setObject("40 50 640 480", WindowController::frameKey("one"));
    defaults.setObject("300 320 500 400", WindowController::frameKey("two"));
    one->setFrameAutosaveName("one");
    two->setFrameAutosaveName("two");
    one->showWindow();
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == one->window(); }));

    WindowTabs::addTabbedWindow(one->window(), two->window());
    QWidget *group = one->window()->window();
    ASSERT_TRUE(WindowTabs::isGroupWindow(group));
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == group; }));
    EXPECT_EQ(group->geometry(), QRect(40, 50, 640, 480)) << "the second tab's frame does not move the group";
    EXPECT_EQ(controller.currentDocument(), second);

    // Moved while the second is in front: kept under its name only.
    group->setGeometry(60, 70, 640, 480);
    EXPECT_TRUE(spinUntil([&] { return kept("two") == "60 70 640 480"; })) << qPrintable(kept("two"));
    EXPECT_EQ(kept("one"), "40 50 640 480");
    // Switching tabs does not move the group window; the first, in front,
    // keeps the frame from now on.
    WindowTabs::makeKeyAndOrderFront(one->window());
    EXPECT_EQ(group->geometry(), QRect(60, 70, 640, 480));
    EXPECT_EQ(controller.currentDocument(), first);
    group->resize(700, 500);
    EXPECT_TRUE(spinUntil([&] { return kept("one") == "60 70 700 500"; })) << qPrintable(kept("one"));
    EXPECT_EQ(kept("two"), "60 70 640 480");
    // A hidden tab neither saves the frame nor moves the group to one kept.
    two->saveFrameUsingName("two");
    EXPECT_EQ(kept("two"), "60 70 640 480");
    defaults.setObject("0 0 300 200", WindowController::frameKey("elsewhere"));
    EXPECT_TRUE(two->setFrameUsingName("elsewhere"));
    EXPECT_EQ(group->geometry(), QRect(60, 70, 700, 500));
    EXPECT_FALSE(two->isFullScreen());

    // The window commands act on the group window, sent in a tab.
    EXPECT_TRUE(ActionRouter::sendAction("performZoom:", nullptr, one->window()));
    EXPECT_TRUE(spinUntil([&] { return group->isMaximized(); }));
    EXPECT_EQ(kept("one"), "60 70 700 500") << "a zoomed window keeps its normal frame";
}

// A 1600 x 1000 screen whose window manager adds a title bar and thin
// borders: every window, the fifth or the fiftieth, stands on it whole.
TEST(WindowPlacement, WindowsOpenAndCascadeWithinTheAvailableGeometryOfTheScreen) {
    const QRect screen(0, 0, 1600, 1000);
    const QMargins decorations(2, 30, 2, 2);
    const QRect inside = screen.marginsRemoved(decorations);

    // Too large, or partly off the screen: moved in and made to fit.
    EXPECT_EQ(WindowController::fittedFrame(QRect(100, 600, 900, 700), screen, decorations), QRect(100, 298, 900, 700));
    EXPECT_EQ(WindowController::fittedFrame(QRect(-50, -50, 2000, 1400), screen, decorations), inside);
    EXPECT_EQ(WindowController::fittedFrame(QRect(3000, 40, 400, 300), screen, decorations), QRect(1198, 40, 400, 300));
    // A frame that fits stays where it is.
    EXPECT_EQ(WindowController::fittedFrame(QRect(40, 60, 640, 480), screen, decorations), QRect(40, 60, 640, 480));

    // Each new window a step from the last; none leaves the screen, and the
    // cascade starts again at the top left instead.
    QList<QPoint> open;
    QRect frame(inside.topLeft(), QSize(900, 700));
    bool wrapped = false;
    for (int i = 0; i < 50; i++) {
        const QRect placed = WindowController::cascadedFrame(frame, open, screen, decorations);
        EXPECT_TRUE(inside.contains(placed)) << i;
        EXPECT_FALSE(open.contains(placed.topLeft())) << i;
        if (i > 0 && placed.top() < frame.top())
            wrapped = true;
        open.append(placed.topLeft());
        frame = placed;  // the next takes the frame the last one saved
    }
    EXPECT_TRUE(wrapped);
    // The second window stands one step down and right of the first.
    EXPECT_EQ(open.value(1) - open.value(0), QPoint(WindowController::kCascadeStep, WindowController::kCascadeStep));
    // Nothing in the way: the frame stays.
    EXPECT_EQ(WindowController::cascadedFrame(QRect(300, 200, 800, 600), {QPoint(0, 30)}, screen, decorations),
              QRect(300, 200, 800, 600));
}

TEST_F(DocumentsFixture, MenuCommandsSentInAWindowReachItsDocument) {
    BytesDocument *first = open("first.md", "1");
    BytesDocument *second = open("second.md", "2");
    QWidget *firstWindow = first->firstWindow();
    QWidget *secondWindow = second->firstWindow();
    auto *content = new QWidget;
    first->windowControllers().first()->setContentWidget(content);

    // From a widget inside the window, the window answers for its document.
    EXPECT_EQ(ActionRouter::targetForAction("saveDocument:", content),
              dynamic_cast<Responder *>(firstWindow));
    first->edit("one");
    second->edit("two");
    EXPECT_TRUE(ActionRouter::sendAction("saveDocument:", nullptr, content));
    // (Saved in the background.)
    ASSERT_TRUE(spinUntil([&] { return !first->isSaving(); }));
    EXPECT_EQ(readAll(path("first.md")), "one");
    EXPECT_EQ(readAll(path("second.md")), "2") << "only the window's own document saves";
    EXPECT_FALSE(first->isDocumentEdited());
    EXPECT_TRUE(second->isDocumentEdited());

    // Items are validated by the document: nothing to revert once saved.
    EXPECT_FALSE(dynamic_cast<Responder *>(firstWindow)->validateAction("revertDocumentToSaved:", nullptr));
    EXPECT_TRUE(dynamic_cast<Responder *>(secondWindow)->validateAction("revertDocumentToSaved:", nullptr));
    // What no document does is not the window's either.
    EXPECT_EQ(ActionRouter::targetForAction("noSuchCommand:", content), nullptr);

    // Close asks about the edits and keeps the window on Cancel.
    alerts.addAnswers({2});
    EXPECT_TRUE(ActionRouter::sendAction("performClose:", nullptr, secondWindow));
    EXPECT_EQ(alerts.count(), 1);
    EXPECT_EQ(controller.documents().size(), 2);
    alerts.addAnswers({1});
    EXPECT_TRUE(ActionRouter::sendAction("performClose:", nullptr, secondWindow));
    spinFor(std::chrono::milliseconds(10));
    EXPECT_EQ(controller.documents(), QList<Document *>{first});
    EXPECT_EQ(readAll(path("second.md")), "2");
}
