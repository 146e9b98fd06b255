// Alerts as the user sees them (real message boxes, answered by a click) and
// as tests script them; the user's folders and their stand-ins for tests.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>

#include <atomic>

#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/files/folders.h"
#include "support/log_capture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using platform::Alert;
using platform::Alerts;
using platform::AlertStyle;
using platform::Dispatch;
using platform::Folders;
using platform::ScopedFolders;
using platform::ScriptedAlerts;
using testing_qt::spinUntil;

namespace {

// Clicks the button titled `title` of the next message box that opens, after
// pressing Escape in it when `escapeFirst`; records what the box showed.
struct Clicker {
    QString text, informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

    void arm(const QString &title, bool escapeFirst = false) {
        *this = Clicker();
        QTimer::singleShot(10, [this, title, escapeFirst] { act(title, escapeFirst); });
    }
    // Presses Return in the next message box instead.
    void armReturn() {
        *this = Clicker();
        QTimer::singleShot(10, [this] { pressReturn(); });
    }
    void pressReturn() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, [this] { pressReturn(); });
            return;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(box, &press);
    }
    void act(const QString &title, bool escapeFirst) {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, [this, title, escapeFirst] { act(title, escapeFirst); });  // not open yet
            return;
        }
        text = box->text();
        informative = box->informativeText();
        icon = box->icon();
        if (escapeFirst) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &escape);
            if (!box->isVisible())
                return;
        }
        for (QAbstractButton *button : box->buttons())
            if (button->text() == title)
                button->click();
    }
};

}  // namespace

TEST(Alerts, RealAlertsAnswerWithTheIndexOfTheButtonChosenFromAnyThread) {
    Clicker clicker;
    clicker.arm("Merge");
    EXPECT_EQ(Alerts::runModal({"File has changed", "Merge?", {"Merge", "No"}, AlertStyle::Critical}), 0);
    EXPECT_EQ(clicker.text, "File has changed");
    EXPECT_EQ(clicker.informative, "Merge?");
    EXPECT_EQ(clicker.icon, QMessageBox::Critical);

    clicker.arm("Leave as is");
    EXPECT_EQ(Alerts::runModal({"Tags", "", {"Update file tags", "Update metadata tags", "Leave as is"}}), 2);

    // Escape picks "Cancel"; without a button that could answer it, nothing.
    clicker.arm("Save", true);
    EXPECT_EQ(Alerts::runModal({"Close?", "", {"Save", "Cancel", "Don't Save"}}), 1);
    clicker.arm("B", true);
    EXPECT_EQ(Alerts::runModal({"Choose", "", {"A", "B"}}), 1);

    // Return picks the default button: the first, or the one the alert names.
    clicker.armReturn();
    EXPECT_EQ(Alerts::runModal({"Merge?", "", {"Merge", "Cancel"}}), 0);
    Alert risky{"Open this address?", "https://example.com/", {"Open", "Cancel"}};
    risky.defaultButton = 1;
    clicker.armReturn();
    EXPECT_EQ(Alerts::runModal(risky), 1);
    clicker.arm("Open", true);
    EXPECT_EQ(Alerts::runModal(risky), 1);

    // From a worker: the alert runs on the main thread while the worker waits.
    std::atomic<int> answer{-2};
    clicker.arm("No");
    Dispatch::background([&] { answer = Alerts::runModal({"From a worker", "", {"Yes", "No"}}); });
    ASSERT_TRUE(spinUntil([&] { return answer != -2; }));
    EXPECT_EQ(answer.load(), 1);

    // The simple alert returns at once and shows later, title over message.
    clicker.arm("OK");
    Alerts::simpleAlert("The file could not be read.", "Error");
    EXPECT_TRUE(clicker.text.isEmpty());
    ASSERT_TRUE(spinUntil([&] { return !clicker.text.isEmpty(); }));
    EXPECT_EQ(clicker.text, "Error");
    EXPECT_EQ(clicker.informative, "The file could not be read.");
    EXPECT_EQ(clicker.icon, QMessageBox::Warning);
}

namespace {

// How the next message box that opens shows its explanation; then clicks
// its last button.
struct Explanation {
    QString whole;  // the text of the box that shows it whole, if any
    bool wraps = false, selectable = false, labelShown = false, fits = false;

    void arm() {
        *this = Explanation();
        QTimer::singleShot(10, [this] { look(); });
    }
    void look() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            QTimer::singleShot(10, [this] { look(); });
            return;
        }
        if (auto *text = box->findChild<QPlainTextEdit *>()) {
            whole = text->toPlainText();
            wraps = text->wordWrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere && text->isVisible();
            selectable = text->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
        }
        const auto *label = box->findChild<QLabel *>("qt_msgbox_informativelabel");
        labelShown = label && label->isVisible();
        fits = box->screen()->availableGeometry().size().boundedTo(box->size()) == box->size();
        box->buttons().last()->click();
    }
};

}  // namespace

// An explanation a label would cut (an address that holds a long run
// without a break) shows whole, in a box that breaks it where it must and
// scrolls, which the user can select from; the alert stays within the
// screen. A short one stays a label.
TEST(Alerts, ARealAlertShowsALongExplanationWhole) {
    const QString address = "https://example.com/?d=" + QString(20000, u'A') + "END";
    Explanation shown;
    shown.arm();
    EXPECT_EQ(Alerts::runModal({"Open this address?", address, {"Open", "Cancel"}}), 1);
    EXPECT_EQ(shown.whole, address);
    EXPECT_TRUE(shown.wraps);
    EXPECT_TRUE(shown.selectable);
    EXPECT_FALSE(shown.labelShown);
    EXPECT_TRUE(shown.fits);

    shown.arm();
    EXPECT_EQ(Alerts::runModal({"Open this address?", "https://example.com/a/short/address", {"Open", "Cancel"}}), 1);
    EXPECT_TRUE(shown.whole.isEmpty());
    EXPECT_TRUE(shown.labelShown);
    EXPECT_TRUE(shown.fits);
}

TEST(Alerts, ScriptedAlertsAreRecordedAndAnsweredInOrderOnTheCallingThread) {
    ScriptedAlerts outer({1});
    {
        ScriptedAlerts script({2, 1});
        Alerts::simpleAlert("message", "title");  // recorded; no choice, so no answer used
        EXPECT_EQ(Alerts::runModal({"first", "", {"a", "b", "c"}}), 2);
        std::atomic<int> fromWorker{-2};
        Dispatch::background([&] { fromWorker = Alerts::runModal({"second", "", {"x", "y"}}); });
        ASSERT_TRUE(Dispatch::waitForBackground());
        EXPECT_EQ(fromWorker.load(), 1);
        EXPECT_EQ(Alerts::runModal({"third", "", {"x", "y"}}), 0);  // the script ran out

        const QList<Alert> shown = script.shown();
        ASSERT_EQ(shown.size(), 4);
        EXPECT_EQ(shown[0].messageText, "title");
        EXPECT_EQ(shown[0].informativeText, "message");
        EXPECT_EQ(shown[0].buttons, QStringList{"OK"});
        EXPECT_EQ(shown[0].style, AlertStyle::Warning);
        EXPECT_EQ(shown[3].messageText, "third");
    }
    // The outer script is back in charge.
    EXPECT_EQ(Alerts::runModal({"outer", "", {"x", "y"}}), 1);
    EXPECT_EQ(outer.count(), 1);
}

namespace {

// The message boxes on the screen that say `text`.
int boxesShown(const QString &text) {
    int shown = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible() && box->text() == text)
            shown++;
    return shown;
}

struct Key {
    Qt::Key key;
    char text;
};

// Keys to the window that has the keyboard, as the window system sends them.
void typeKeys(const QList<Key> &keys) {
    for (const Key &key : keys)
        if (QWindow *focused = QGuiApplication::focusWindow())
            QTest::keyClick(focused, key.key, Qt::NoModifier, key.text);
}

// Keys typed after a time without a key.
struct Later {
    std::chrono::milliseconds still;
    QList<Key> keys;
};

// Types `first` into the next message box once it holds the keyboard, and
// each of `later` after its time without a key.
class KeysForTheNextBox : public QObject {
public:
    bool shownAfterFirst = false;

    void arm(QList<Key> first, QList<Later> later) {
        m_first = std::move(first);
        m_later = std::move(later);
        QTimer::singleShot(5, this, [this] { look(); });
    }
    void arm(QList<Key> first, std::chrono::milliseconds still, QList<Key> then) {
        arm(std::move(first), QList<Later>{{still, std::move(then)}});
    }

private:
    void look() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || QGuiApplication::focusWindow() != box->windowHandle()) {
            QTimer::singleShot(5, this, [this] { look(); });
            return;
        }
        typeKeys(m_first);
        shownAfterFirst = box->isVisible();
        typeLater(m_later);
        // A box the keys did not answer fails the test, rather than hold it.
        std::chrono::milliseconds all{0};
        for (const Later &later : m_later)
            all += later.still;
        QTimer::singleShot(all + std::chrono::seconds(10), box, [box] {
            if (box->isVisible())
                box->done(-1);
        });
    }
    // The keys of this box, whatever the next box is armed with meanwhile.
    void typeLater(QList<Later> later) {
        if (later.isEmpty())
            return;
        const Later next = later.takeFirst();
        QTimer::singleShot(next.still, this, [this, next, later] {
            typeKeys(next.keys);
            typeLater(later);
        });
    }

    QList<Key> m_first;
    QList<Later> m_later;
};

}  // namespace

// Someone types in a window when a question they did not ask for comes up:
// the keys that come before the keyboard has been still for the pause since
// it came up are theirs, and go on to the window's focus widget (space and
// Return too, which would answer it); a key after that pause answers it,
// and so does every key after it. A question the user asked for takes the
// keys at once.
TEST(Alerts, AQuestionRaisedUnaskedTakesOnlyTheKeysThatComeAfterAPause) {
    QWidget window;
    auto *field = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    typeKeys({{Qt::Key_A, 'a'}});
    EXPECT_EQ(field->text(), "a");
    EXPECT_GT(Alerts::typingPauseLeft().count(), 0) << "typing";

    Alert question{"File has changed", "Merge?", {"Merge", "No"}};
    question.unasked = true;
    KeysForTheNextBox keys;
    keys.arm({{Qt::Key_B, 'b'}, {Qt::Key_Space, ' '}, {Qt::Key_Return, '\r'}},
             Alerts::kTypingPause + std::chrono::milliseconds(100), {{Qt::Key_Return, '\r'}});
    EXPECT_EQ(Alerts::runModal(question, &window), 0);
    EXPECT_TRUE(keys.shownAfterFirst) << "answered by a key typed as it came up";
    EXPECT_EQ(field->text(), "ab ");

    keys.arm({{Qt::Key_Return, '\r'}}, std::chrono::milliseconds(0), {});
    EXPECT_EQ(Alerts::runModal({"Close?", "", {"Save", "Cancel"}}, &window), 0);
    EXPECT_FALSE(keys.shownAfterFirst);
    EXPECT_EQ(field->text(), "ab ");

    // Once the keyboard was still for the pause, the keys that follow are
    // the question's however quickly they come: Tab goes to the second
    // button and Space, a moment later, presses it.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    typeKeys({{Qt::Key_C, 'c'}});
    EXPECT_EQ(field->text(), "ab c");
    keys.arm({}, {{Alerts::kTypingPause + std::chrono::milliseconds(200), {{Qt::Key_Tab, '\t'}}},
                  {std::chrono::milliseconds(300), {{Qt::Key_Space, ' '}}}});
    EXPECT_EQ(Alerts::runModal(question, &window), 1);
    EXPECT_EQ(field->text(), "ab c");
}

// A notice shows beside the windows until it is withdrawn, and one
// withdrawn before it could show never shows.
TEST(Alerts, ANoticeGoesWhenWithdrawnAndOneWithdrawnAtOnceNeverShows) {
    const quint64 gone = Alerts::notice({"Withdrawn at once", "", {"OK"}});
    const quint64 shown = Alerts::notice({"Shown until withdrawn", "", {"OK"}});
    Alerts::withdrawNotice(gone);
    ASSERT_TRUE(spinUntil([] { return boxesShown("Shown until withdrawn") == 1; }));
    EXPECT_EQ(boxesShown("Withdrawn at once"), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    Alerts::withdrawNotice(shown);
    EXPECT_TRUE(spinUntil([] { return boxesShown("Shown until withdrawn") == 0; }));
    Alerts::withdrawNotice(shown);  // gone already: nothing
    Alerts::withdrawNotice(0);
}

TEST(Folders, AScopedLayoutStandsInForTheUsersFoldersAndIsUndone) {
    const auto before = Folders::layout();
    {
        ScopedFolders folders;
        EXPECT_EQ(Folders::userDataFolder(), folders.root() + "/data");
        EXPECT_EQ(Folders::dataFolders(), (QStringList{folders.root() + "/data", folders.root() + "/shared"}));
        EXPECT_EQ(Folders::configFolder(), folders.root() + "/config");
        EXPECT_EQ(Folders::documentsFolder(), folders.root() + "/documents");
        EXPECT_EQ(Folders::stateFolder(), folders.root() + "/state");
        EXPECT_EQ(platform::Defaults::standardFilePath(), folders.root() + "/config/preferences.json");
        {
            ScopedFolders inner;
            EXPECT_EQ(Folders::configFolder(), inner.root() + "/config");
        }
        EXPECT_EQ(Folders::configFolder(), folders.root() + "/config");
    }
    EXPECT_EQ(Folders::layout().has_value(), before.has_value());
    if (before) {
        EXPECT_EQ(Folders::userDataFolder(), before->userData);
    }
}

// The state folder as the XDG base directories name it: $XDG_STATE_HOME
// when it is an absolute path (a relative one is ignored), else
// ~/.local/state.
TEST(Folders, TheStateFolderIsXdgStateHomeWhenAbsoluteElseLocalStateInTheHomeFolder) {
    const std::optional<Folders::Layout> before = Folders::layout();
    const QByteArray home = qgetenv("HOME"), state = qgetenv("XDG_STATE_HOME");
    const bool hadState = qEnvironmentVariableIsSet("XDG_STATE_HOME");
    Folders::setLayout(std::nullopt);
    qputenv("HOME", "/home/ann");
    qputenv("XDG_STATE_HOME", "/var/ann/state/");
    EXPECT_EQ(Folders::stateFolder(), "/var/ann/state");
    qputenv("XDG_STATE_HOME", "state");
    EXPECT_EQ(Folders::stateFolder(), "/home/ann/.local/state");
    qputenv("XDG_STATE_HOME", "");
    EXPECT_EQ(Folders::stateFolder(), "/home/ann/.local/state");
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(Folders::stateFolder(), "/home/ann/.local/state");
    qputenv("HOME", home);
    if (hadState)
        qputenv("XDG_STATE_HOME", state);
    Folders::setLayout(before);
}

TEST(Folders, EnsureFolderMakesMissingFoldersAndSaysWhyItCannot) {
    ScopedFolders folders;
    const QString themes = Folders::userDataFolder() + "/Tessaro Orvane 4/Themes";
    EXPECT_TRUE(Folders::ensureFolder(themes));
    EXPECT_TRUE(QDir(themes).exists());
    EXPECT_TRUE(Folders::ensureFolder(themes));  // already there

    QFile plain(folders.root() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    testing_qt::LogCapture log;
    EXPECT_FALSE(Folders::ensureFolder(folders.root() + "/plain"));
    EXPECT_FALSE(Folders::ensureFolder(folders.root() + "/plain/below"));
    EXPECT_FALSE(Folders::ensureFolder(QString()));
    EXPECT_EQ(log.count("cannot be used: not a folder"), 1);
    EXPECT_EQ(log.count("plain/below cannot be used: Not a directory"), 1);
    EXPECT_EQ(log.count("cannot be used: no path"), 1);
}
