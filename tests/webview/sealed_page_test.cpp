// The sealed page on the real web engine: an attacker's document shows what
// its folder holds, reads none of it and nothing around it, tells nothing of
// where it is, and sends nothing out, by any way a page has; its dialogs
// never hold the window.
#include "hostile_folder.h"
#include "platform/web/web_view.h"
#include "support/loopback_listener.h"
#include "web_test_support.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace web_test;

namespace {

class SealedPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Sound and video make the engine look for the desktop's session
        // bus; without one, it would start one through the display, which
        // can hang the engine's end. Here it finds at once that there is
        // none.
        if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvane-tests/no-bus");
        window.resize(900, 700);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(view);
        window.show();
        view->setNavigationPolicy([](const QUrl &) { return platform::WebView::Navigation::Stay; });
        ASSERT_TRUE(folder.write());
        ASSERT_TRUE(listener.isListening());
    }

    // Loads the attacker's document and waits until it has tried every way.
    QJsonObject attack() {
        const QString page = "<!DOCTYPE html><html><head></head><body>" +
                             folder.fragment(listener.tcpPort(), listener.udpPort()) + "</body></html>";
        EXPECT_EQ(load(*view, page, QUrl::fromLocalFile(folder.document)), true);
        EXPECT_TRUE(waitUntil([&] { return got().value("done").toBool(); }, 60000)) << gotText().toStdString();
        return got();
    }
    QString gotText() { return evaluateText(*view, "document.getElementById('got').textContent"); }
    QJsonObject got() { return QJsonDocument::fromJson(gotText().toUtf8()).object(); }

    QWidget window;
    QLineEdit *field = new QLineEdit;
    platform::WebView *view = new platform::WebView;
    hostile::Folder folder;
    LoopbackListener listener;
};

}  // namespace

// The folder's picture, style sheets (one imported), font and sound show;
// no script reads a style sheet's rules, a subtitle's cues, a picture's
// pixels, the sound's samples or a file by its address. Nothing outside the
// folder shows, through a link out of it either.
TEST_F(SealedPageTest, ShowsTheFoldersFilesAndReadsNoneOfThem) {
    StepWatch watch;
    watch.step("the attack");
    const QJsonObject found = attack();
    ASSERT_GE(found.value("sheets").toArray().size(), 2) << gotText().toStdString();
    for (const QJsonValue &rules : found.value("sheets").toArray())
        EXPECT_EQ(rules.toString(), "refused");
    EXPECT_TRUE(found.value("inlineRules").toString().contains("rgb(7, 8, 9)"));  // the page's own rules read
    EXPECT_EQ(found.value("outsideRule").toString(), "none");
    ASSERT_EQ(found.value("cues").toArray().size(), 2);
    for (const QJsonValue &cues : found.value("cues").toArray())
        EXPECT_EQ(cues.toString(), "");
    EXPECT_EQ(found.value("fetchOwn").toString(), "refused");
    EXPECT_EQ(found.value("xhrOwn").toString(), "refused");
    EXPECT_EQ(found.value("canvas").toString(), "refused");
    EXPECT_FALSE(gotText().contains(QString::fromLatin1(hostile::Secret)));
    EXPECT_FALSE(gotText().contains("FOLDER-RULE"));
    EXPECT_FALSE(gotText().contains("FOLDER-CUE"));

    // What the folder holds shows all the same.
    watch.step("what shows");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.q')).color"), "rgb(1, 2, 3)");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.q'), '::before').content"),
              "\"FOLDER-RULE \"");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.d')).color"), "rgb(4, 5, 6)");
    EXPECT_EQ(evaluateText(*view, "var p = document.getElementById('pic'); p.naturalWidth + 'x' + p.naturalHeight"),
              "37x23");
    ASSERT_TRUE(waitUntil([&] {
        return evaluateText(*view, "Array.from(document.fonts).filter(function (f) { return f.family.indexOf("
                                   "'Folder Font') >= 0; }).map(function (f) { return f.status; }).join()") == "loaded";
    })) << "the folder's font did not load";
    watch.step("the sound's length");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "document.getElementById('tone').duration").toDouble() > 5; }));

    // A click lets the page play sound: the folder's sound plays, but the
    // page hears silence; its own sound it hears.
    watch.step("the sound played");
    click(*view, QPointF(20, 20));
    ASSERT_TRUE(waitUntil([&] { return got().contains("audio") && got().contains("audioControl"); }, 30000))
        << gotText().toStdString();
    EXPECT_GT(got().value("audioControl").toDouble(), 0.1);
    EXPECT_EQ(got().value("audio").toDouble(), 0.0);
}

// Files outside the folder (by their addresses, by a link out of it, or the
// system's) fail as a missing file of the folder does, and nothing the page
// can see of itself names a folder of the user's.
TEST_F(SealedPageTest, TellsNothingOfWhatLiesOutsideTheFolderNorWhereItIs) {
    const QJsonObject found = attack();
    const QJsonObject exists = found.value("exists").toObject();
    EXPECT_EQ(exists.value("inside").toString(), "shown");
    for (const char *name : {"inside missing", "link out", "outside", "outside missing", "system", "remote",
                             "sheet outside", "sheet outside missing", "sheet inside missing", "up", "sheet up"})
        EXPECT_EQ(exists.value(name).toString(), "error") << name;
    const QString home = folder.dir.path();
    ASSERT_GE(found.value("where").toArray().size(), 8);
    for (const QJsonValue &where : found.value("where").toArray()) {
        // Addresses of files outside that the page named itself it knows.
        const QString seen = where.toString().remove(folder.outside(""));
        EXPECT_FALSE(seen.contains(home)) << where.toString().toStdString();
        EXPECT_FALSE(seen.contains("/ann/")) << where.toString().toStdString();
    }
    EXPECT_EQ(found.value("where").toArray().first().toString(), view->site().pageUrl().toString());
}

// No connection leaves the page, by any way it tries: WebRTC from a frame
// it made, where nothing took WebRTC from its scripts, included.
TEST_F(SealedPageTest, OpensNoConnectionOfItsOwn) {
    const QJsonObject found = attack();
    EXPECT_EQ(found.value("rtc").toObject().value("page").toString(), "refused");
    EXPECT_EQ(found.value("rtc").toObject().value("written frame").toString(), "refused");
    // The frame made by script is reached before anything could prepare it:
    // its attempt is made, and goes nowhere.
    EXPECT_TRUE(found.value("rtc").toObject().contains("blank frame"));
    EXPECT_TRUE(listener.heard().isEmpty()) << listener.heard().join(u'\n').toStdString() << "\n"
                                            << gotText().toStdString();
}

// A page's alert, confirm and prompt show nothing, however many it asks for:
// the window goes on taking keys, and the page goes on; a page that asks
// before it is left is left when the program loads another.
TEST_F(SealedPageTest, APagesDialogsNeverHoldTheWindow) {
    // A dialog that holds the window is noted and sent away, so that the test
    // goes on to fail rather than wait for an answer.
    QStringList held;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            const QLabel *label = dialog->findChild<QLabel *>();
            held << dialog->windowTitle() + (label ? ": " + label->text() : QString());
            dialog->close();
        }
    });
    watch.start(50);
    const QUrl base = QUrl::fromLocalFile(folder.document);
    ASSERT_EQ(load(*view,
                   "<p id='n'>0</p><script>var n = 0; var answers = String(confirm('Sure?')) + ' ' + "
                   "String(prompt('Name?', 'x'));"
                   "(function ask() { for (var i = 0; i < 50; i++) { alert('again'); n++; }"
                   " document.getElementById('n').textContent = n + ' ' + answers; setTimeout(ask, 0); })();</script>",
                   base),
              true);
    ASSERT_TRUE(waitUntil([&] { return evaluateText(*view, "String(n)").toInt() > 1000; })) << held.size();
    EXPECT_TRUE(held.isEmpty()) << held.size() << " dialogs, the first " << held.value(0).toStdString();
    EXPECT_TRUE(evaluateText(*view, "document.getElementById('n').textContent").endsWith(" false null"));
    window.activateWindow();
    field->setFocus();
    QTest::keyClicks(field, "typed");
    EXPECT_EQ(field->text(), "typed");

    // A page that asks before it is left, after a click of the user's.
    ASSERT_EQ(load(*view,
                   "<p>x</p><script>window.onbeforeunload = function (e) { e.preventDefault(); e.returnValue = 'Stay?';"
                   " return 'Stay?'; };</script>",
                   base),
              true);
    click(*view, QPointF(20, 20));
    pause(100);
    ASSERT_EQ(load(*view, "<p id='next'>next</p>", base), true);
    EXPECT_EQ(evaluateText(*view, "document.getElementById('next').textContent"), "next");
    EXPECT_TRUE(held.isEmpty()) << held.size() << " dialogs, the first " << held.value(0).toStdString();
}

// A document without a file of its own stands in the temporary folder,
// whose files its page does not show; its scripts run all the same.
TEST_F(SealedPageTest, AnUntitledDocumentsPageShowsNoFolder) {
    view->setShowsDocumentFolder(false);
    const QString temporary = QDir::tempPath();
    QImage picture(5, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString name = QStringLiteral("orvane-untitled-%1.png").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(picture.save(temporary + u'/' + name, "PNG"));
    ASSERT_EQ(load(*view,
                   "<p id='ran'></p><img id='pic' src='" + name +
                       "'><script>document.getElementById('ran').textContent = 'ran';</script>",
                   QUrl::fromLocalFile(temporary + "/orvane.html")),
              true);
    EXPECT_EQ(evaluateText(*view, "document.getElementById('ran').textContent"), "ran");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "document.getElementById('pic').complete").toBool(); }));
    EXPECT_EQ(evaluate(*view, "document.getElementById('pic').naturalWidth").toInt(), 0);
    QFile::remove(temporary + u'/' + name);
}
