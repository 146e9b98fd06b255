// The changes sidebar over a real document and the engine bridge: what it
// lists, pointing out a change, the buttons, and accepting and rejecting
// changes, stale rows included.
#include <QLineEdit>
#include <QPushButton>

#include "platform/runtime/alerts.h"
#include "window/sidebar_test_support.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_critic_view.h"

using namespace sidebartest;

namespace {

bool indicatorShown(KVXTextView *editor, qsizetype start, qsizetype length) {
    for (const QTextEdit::ExtraSelection &mark : editor->extraSelections())
        if (mark.cursor.selectionStart() == start && mark.cursor.selectionEnd() == start + length)
            return true;
    return false;
}

}  // namespace

class ChangesTest : public DocumentTest {
protected:
    TZRCriticView *critic = nullptr;

    void SetUp() override {
        DocumentTest::SetUp();
        defaults.setBool(true, "EXT_CRITIC");
        critic = place(new TZRCriticView);
        critic->coalescer().setResumeDelay(std::chrono::milliseconds(20));
    }
    void open(const QString &text) {
        start(text);
        critic->observeEngine(bridge.get());
        critic->connectToTextView(editor);
        ASSERT_TRUE(settleAll());
    }
    qsizetype at(const QString &text) const { return storage->string().indexOf(text); }
};

TEST_F(ChangesTest, ChangesAreListedInDocumentOrderAndASelectedChangeIsPointedOutWhileTheWindowIsActive) {
    show();
    open(sampleDocument());
    EXPECT_EQ(labels(critic->arrangedObjects()),
              QStringList({"{++an addition++}", "{--was wrong--}", "{~~beans~>cups~~}{>>per day<<}"}));
    EXPECT_FALSE(critic->acceptButton()->isEnabled());
    EXPECT_FALSE(critic->rejectButton()->isEnabled());
    EXPECT_EQ(critic->firstSelectedItem(), -1);

    critic->selectRow(2);
    EXPECT_TRUE(critic->acceptButton()->isEnabled());
    EXPECT_TRUE(critic->rejectButton()->isEnabled());
    EXPECT_EQ(critic->firstSelectedItem(), 2);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return indicatorShown(editor, at("{~~beans"), 30); }));
    // The mark goes by itself.
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->extraSelections().isEmpty(); }));

    // Two rows selected point out nothing; neither does a selection in a
    // window that is not the active one.
    critic->selectRows({0, 1});
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(editor->extraSelections().isEmpty());
    QWidget other;
    showAndWait(other, QSize(100, 100));
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !window->isActiveWindow(); }));
    critic->selectRow(0);
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(editor->extraSelections().isEmpty());
    EXPECT_TRUE(critic->acceptButton()->isEnabled());
    critic->selectRows({});
    EXPECT_FALSE(critic->acceptButton()->isEnabled());
    EXPECT_EQ(critic->firstSelectedItem(), -1);
}

TEST_F(ChangesTest, SelectedChangesAreSettledFromTheLastInTheTextAndTheSelectionStaysInPlace) {
    show();
    open(sampleDocument());
    critic->selectRows({0, 2});
    critic->acceptChange();
    EXPECT_FALSE(critic->acceptButton()->isEnabled());
    EXPECT_EQ(critic->firstSelectedItem(), 0);
    const QString accepted = storage->string();
    EXPECT_TRUE(accepted.contains("culture 😀 with an addition and a"));
    EXPECT_TRUE(accepted.contains("We count cups in each café."));
    EXPECT_TRUE(accepted.contains("Earlier work {--was wrong--} stands"));
    ASSERT_TRUE(settleAll());
    EXPECT_EQ(labels(critic->arrangedObjects()), QStringList({"{--was wrong--}"}));
    // The first row selected before stays selected (here the last one left).
    EXPECT_EQ(critic->selectedRows(), QList<int>({0}));
    EXPECT_TRUE(critic->acceptButton()->isEnabled());

    // A double-click with Command (Ctrl) held rejects: the deletion is undone.
    QAbstractItemView *list = critic->tableView();
    doubleClick(list->viewport(), list->visualRect(list->model()->index(0, 0)).center(), Qt::ControlModifier);
    EXPECT_TRUE(storage->string().contains("Earlier work was wrong stands"));
    ASSERT_TRUE(settleAll());
    EXPECT_EQ(critic->numberOfRows(), 0);
    // One undo step for each change settled.
    ASSERT_TRUE(storage->undo());
    EXPECT_TRUE(storage->string().contains("{--was wrong--}"));

    // Return accepts, and with Command held rejects.
    ASSERT_TRUE(settleAll());
    critic->selectRow(0);
    list->setFocus();
    pressKey(list, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(storage->string().contains("Earlier work was wrong stands"));
}

TEST_F(ChangesTest, RowsOfAnOlderTextAndChangesWhileTrackingChangeNothing) {
    show();
    open(sampleDocument());
    // An edit between listing and acting, before the new list arrives.
    critic->coalescer().setResumeDelay(std::chrono::seconds(60));
    // The list of the text before the edit (the bridge may publish the next
    // one at any moment after it).
    const ChangeList listed = bridge->changes().get();
    critic->updateData(listed);  // starts a long pause
    type(0, "Intro: ");
    critic->selectRows({0, 1});
    critic->acceptChange();
    EXPECT_EQ(storage->string(), "Intro: " + sampleDocument());

    // Rows of this text whose range holds other text: nothing either.
    ChangeList wrong = listed;
    wrong.generation = storage->editGeneration();
    for (ChangeRow &row : wrong.rows)
        row.generation = wrong.generation, row.start += 1;
    critic->resumeUpdating();
    critic->updateData(wrong);
    critic->selectRows({0, 1, 2});
    critic->rejectChange();
    EXPECT_EQ(storage->string(), "Intro: " + sampleDocument());

    // While changes are tracked: an alert, and the text and buttons stay.
    ChangeList right = wrong;
    for (ChangeRow &row : right.rows)
        row.start += 6;
    critic->resumeUpdating();
    critic->updateData(right);
    critic->selectRow(0);
    storage->startTrackingChanges();
    platform::ScriptedAlerts alerts;
    critic->acceptChange();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 1; }));
    EXPECT_EQ(alerts.shown()[0].messageText, "Alert");
    EXPECT_EQ(alerts.shown()[0].informativeText, "You cannot modify CriticMarkup while change tracking is enabled.");
    EXPECT_TRUE(critic->acceptButton()->isEnabled());
    EXPECT_EQ(storage->string(), "Intro: " + sampleDocument());
    storage->stopTrackingChanges();
    // The same rows fit the text: accepted.
    critic->acceptChange();
    EXPECT_TRUE(storage->string().contains("with an addition and"));
}
