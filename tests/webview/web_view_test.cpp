// platform::WebView on the real engine: loading, scripts that always answer,
// navigation, new windows, focus, and the death of the page's process.
#include "platform/web_view.h"
#include "web_test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <csignal>

using namespace web_test;

namespace {

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(800, 600);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(view);
        window.show();
        view->setNavigationPolicy([this](const QUrl &url) {
            asked << url;
            return false;
        });
    }

    // A click of the user's at a point of the page.
    void click(QPointF at) {
        QWidget *target = view->focusProxy() ? view->focusProxy() : view;
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        }
    }

    QWidget window;
    QLineEdit *field = new QLineEdit;
    platform::WebView *view = new platform::WebView;
    QList<QUrl> asked;
};

}  // namespace

// The page is the document at its base URL, whatever its size: past 2 MB Qt's
// own loading shows an empty page.
TEST_F(WebViewTest, LoadsHtmlOfAnySizeAtItsBaseUrl) {
    const QUrl base = QUrl::fromLocalFile("/tmp/notes/doc.md");
    ASSERT_EQ(load(*view, "<p><img src=\"pic.png\"></p>", base), true);
    EXPECT_EQ(evaluateText(*view, "document.location.href"), base.toString());
    EXPECT_EQ(evaluateText(*view, "document.images[0].src"), "file:///tmp/notes/pic.png");

    // Past 2 MB (see the preview's own test for a whole document).
    QString big = "<!DOCTYPE html><html><head><style>p.x { color: rgb(1, 2, 3); }</style></head><body>";
    for (int i = 0; i < 40000; i++)
        big += QStringLiteral("<p class=\"x\">paragraph %1 with some words &amp; \"quotes\"</p>\n").arg(i);
    big += "</body></html>";
    ASSERT_GT(platform::WebView::dataUrlLength(big), platform::WebView::DataUrlLimit);
    ASSERT_EQ(load(*view, big, base), true);
    EXPECT_EQ(evaluate(*view, "document.body.children.length").toInt(), 40000);
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.body.lastElementChild).color"), "rgb(1, 2, 3)");
    // Without a body the whole text is the body.
    ASSERT_EQ(load(*view, big.mid(big.indexOf("<p")), base), true);
    EXPECT_EQ(evaluate(*view, "document.body.children.length").toInt(), 40000);

    // Loads overlap: the one waiting is replaced by a newer one, and each
    // reports back once.
    QList<int> reports;
    view->loadHtml("<p>1</p>", base, [&](bool ok) { reports << (ok ? 1 : -1); });
    view->loadHtml("<p>2</p>", base, [&](bool ok) { reports << (ok ? 2 : -2); });
    view->loadHtml("<p>3</p>", base, [&](bool ok) { reports << (ok ? 3 : -3); });
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 3; }));
    EXPECT_EQ(reports, QList<int>({-2, 1, 3}));
    EXPECT_EQ(evaluateText(*view, "document.body.innerHTML"), "<p>3</p>");
}

// A script that runs too long is reported unfinished in time, its late answer
// is dropped, and the scripts after it answer.
TEST_F(WebViewTest, ScriptsAnswerOnceInTimeOrAsUnfinished) {
    ASSERT_EQ(load(*view, "<p>x</p>", QUrl("file:///tmp/a.md")), true);
    int calls = 0;
    bool finished = true;
    QElapsedTimer clock;
    clock.start();
    view->runScript("var end = Date.now() + 1500; while (Date.now() < end) {} 'late'",
                    [&](bool done, const QVariant &) {
                        calls++;
                        finished = done;
                    },
                    std::chrono::milliseconds(200));
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_LT(clock.elapsed(), 1400);
    EXPECT_FALSE(finished);
    EXPECT_EQ(evaluate(*view, "6 * 7").toInt(), 42);
    pause(100);
    EXPECT_EQ(calls, 1);

    // Each world has globals of its own.
    evaluate(*view, "var mine = 'page'");
    EXPECT_EQ(evaluateText(*view, "typeof mine"), "string");
    EXPECT_EQ(evaluate(*view, "typeof mine", QWebEngineScript::ApplicationWorld).toString(), "undefined");
}

// The page's process dies: what waited is answered as unfinished, the death is
// reported, and the next load brings the page back.
TEST_F(WebViewTest, SurvivesTheDeathOfThePagesProcess) {
    ASSERT_EQ(load(*view, "<p>x</p>", QUrl("file:///tmp/a.md")), true);
    int gone = 0;
    QObject::connect(view, &platform::WebView::renderProcessGone, [&] { gone++; });
    std::optional<bool> finished;
    view->runScript("while (true) {}", [&](bool done, const QVariant &) { finished = done; },
                    std::chrono::milliseconds(60000));
    pause(100);
    const qint64 pid = view->page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
    EXPECT_FALSE(*finished);
    EXPECT_EQ(gone, 1);
    ASSERT_EQ(load(*view, "<p>back</p>", QUrl("file:///tmp/a.md")), true);
    EXPECT_EQ(evaluateText(*view, "document.body.textContent"), "back");
}

// Every way a page can ask to go elsewhere reaches the policy, which here
// refuses: the page stays. Pages open no windows.
TEST_F(WebViewTest, PutsNavigationToThePolicyAndOpensNoWindows) {
    const QUrl base("file:///tmp/a.md");
    ASSERT_EQ(load(*view,
                   "<p id=\"top\"><a id=\"web\" href=\"https://example.com/x\">web</a>"
                   "<a id=\"file\" href=\"other.md\">file</a>"
                   "<a id=\"new\" href=\"https://example.com/new\" target=\"_blank\">new</a>"
                   "<a id=\"frag\" href=\"#end\">fragment</a></p>"
                   "<div style=\"height: 3000px\"></div><p id=\"end\">end</p>",
                   base),
              true);
    evaluate(*view, "document.getElementById('web').click()");
    evaluate(*view, "document.getElementById('file').click()");
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 2; }));
    EXPECT_EQ(asked, QList<QUrl>({QUrl("https://example.com/x"), QUrl("file:///tmp/other.md")}));

    evaluate(*view, "location.href = 'https://example.org/'");
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 3; }));
    EXPECT_EQ(asked.last(), QUrl("https://example.org/"));

    // A link that asks for a new window is put to the policy as a link when
    // the user clicks it.
    const QVariantList box = evaluate(*view, "var r = document.getElementById('new').getBoundingClientRect();"
                                             "[r.left + r.width / 2, r.top + r.height / 2]")
                                 .toList();
    ASSERT_EQ(box.size(), 2);
    click(QPointF(box[0].toDouble(), box[1].toDouble()));
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 4; }));
    EXPECT_EQ(asked.last(), QUrl("https://example.com/new"));
    // A script cannot open one at all.
    EXPECT_EQ(evaluateText(*view, "String(window.open('https://example.net/'))"), "null");
    pause(300);
    EXPECT_EQ(asked.size(), 4);

    // A fragment of the page is followed without asking.
    evaluate(*view, "document.getElementById('frag').click()");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.scrollY").toDouble() > 1000; }));
    EXPECT_EQ(asked.size(), 4);
    EXPECT_EQ(evaluateText(*view, "document.body.firstElementChild.id"), "top");
}

// Keyboard focus given to the page goes on to the focus target.
TEST_F(WebViewTest, PassesKeyboardFocusOn) {
    ASSERT_EQ(load(*view, "<p>x</p>", QUrl("file:///tmp/a.md")), true);
    EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);
    view->setFocusTarget(field);
    QWidget *inner = view->focusProxy() ? view->focusProxy() : view;
    window.activateWindow();
    inner->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }, 3000));
}
