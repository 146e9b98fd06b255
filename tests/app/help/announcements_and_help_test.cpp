// Announcements: what a reply opens and stores, https only, silence without a
// network; the help pages.
#include "app/help/kvx_announcement_helper.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include "app/help/tzr_help_controller.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/files/workspace.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

class Announcements : public testing::Test {
protected:
    void SetUp() override {
        platform::Workspace::setOpenerForTesting([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
    }
    void TearDown() override { platform::Workspace::setOpenerForTesting({}); }
    platform::Defaults &defaults() { return m_scoped.defaults(); }

    platform::ScopedStandardDefaults m_scoped;
    QList<QUrl> m_opened;
};

TEST_F(Announcements, ANewerReplyOpensItsPageAndIsRememberedAnOlderOneOnlyMovesTheMark) {
    KVXAnnouncementHelper helper(&defaults());
    helper.handleReply("7: https://tessaro.org/news/7\n", 5);
    EXPECT_EQ(m_opened, QList<QUrl>{QUrl("https://tessaro.org/news/7")});
    EXPECT_EQ(defaults().integerForKey("lastAnnouncementID"), 7);

    m_opened.clear();
    helper.handleReply("7: https://tessaro.org/news/7", 7);
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_EQ(defaults().integerForKey("lastAnnouncementID"), 7);
    helper.handleReply("3: https://tessaro.org/news/3", 9);
    EXPECT_EQ(defaults().integerForKey("lastAnnouncementID"), 9);

    // Shown again on request, seen or not.
    helper.handleReply("7: http://tessaro.org/news/7", 0);
    EXPECT_EQ(m_opened, QList<QUrl>{QUrl("http://tessaro.org/news/7")});
}

TEST_F(Announcements, MalformedRepliesChangeNothingPagesThatAreNotWebPagesOpenNothingButAreRemembered) {
    KVXAnnouncementHelper helper(&defaults());
    testing_qt::LogCapture log;
    for (const QByteArray &reply :
         {QByteArray(": https://tessaro.org/x"), QByteArray("12 https://tessaro.org/x"), QByteArray(""),
          QByteArray("12: \xff\xfe"), QByteArray("12: ") + QByteArray(KVXAnnouncementHelper::kMaxReplyBytes, 'a')}) {
        helper.handleReply(reply, 5);
        EXPECT_TRUE(m_opened.isEmpty()) << reply.left(40).toStdString();
        EXPECT_FALSE(defaults().hasStoredValue("lastAnnouncementID")) << reply.left(40).toStdString();
    }
    // Its id is stored all the same, so that it is neither fetched for nor
    // reported again at the next start.
    qint64 id = 12;
    for (const QByteArray &address : {QByteArray("file:///usr/bin/xterm"), QByteArray("javascript:alert(1)"),
                                      QByteArray("mailto:someone@example.org"), QByteArray("https://")}) {
        defaults().removeObject("lastAnnouncementID");
        helper.handleReply(QByteArray::number(id) + ": " + address, 5);
        EXPECT_TRUE(m_opened.isEmpty()) << address.toStdString();
        EXPECT_EQ(defaults().integerForKey("lastAnnouncementID"), id) << address.toStdString();
        EXPECT_EQ(log.count(QStringLiteral("Announcement %1 names no web page to open").arg(id)), 1);
        helper.handleReply(QByteArray::number(id) + ": " + address, defaults().integerForKey("lastAnnouncementID"));
        EXPECT_EQ(log.count(QStringLiteral("Announcement %1 names no web page to open").arg(id)), 1);
        id++;
    }
    // A space the maker left unencoded is read as a browser reads it.
    helper.handleReply("20: https://example.com/a b", 5);
    EXPECT_EQ(m_opened, QList<QUrl>{QUrl("https://example.com/a%20b")});
    EXPECT_EQ(defaults().integerForKey("lastAnnouncementID"), 20);
    // The id is the reply's leading number, as a number reader takes it.
    EXPECT_EQ(KVXAnnouncementHelper::parseReply(" 42abc: https://a.example")->id, 42);
    EXPECT_EQ(KVXAnnouncementHelper::parseReply("abc: https://a.example")->id, 0);
}

TEST_F(Announcements, OnlyHttpsIsAskedAndANetworkThatFailsIsSilent) {
    KVXAnnouncementHelper helper(&defaults());
    platform::ScriptedAlerts alerts;
    testing_qt::LogCapture log;
    int finished = 0;
    QObject::connect(&helper, &KVXAnnouncementHelper::requestFinished, [&] { finished++; });

    helper.showNewMessage();
    EXPECT_EQ(log.count("AnnouncementHelper not configured"), 1);
    helper.loadSignup();
    EXPECT_EQ(log.count("AnnouncementHelper not configured"), 2);

    // Plain http would let anyone on the way choose the page: never asked.
    QTcpServer plain;
    ASSERT_TRUE(plain.listen(QHostAddress::LocalHost));
    helper.setMessageURL(QStringLiteral("http://127.0.0.1:%1/latest").arg(plain.serverPort()));
    helper.showNewMessage();
    testing_qt::spinFor(100ms);
    EXPECT_FALSE(plain.hasPendingConnections());
    EXPECT_EQ(log.count("over https only"), 1);

    // A closed port stands for no network: nothing shown, stored or opened.
    const quint16 port = plain.serverPort();
    plain.close();
    helper.setMessageURL(QStringLiteral("https://127.0.0.1:%1/latest").arg(port));
    const int before = finished;
    helper.showNewMessage();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return finished > before; }, 20s));
    EXPECT_EQ(alerts.count(), 0);
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_FALSE(defaults().hasStoredValue("lastAnnouncementID"));

    helper.setMailingListSignupPage("https://tessaro.org/orvane/newsletter");
    helper.loadSignup();
    EXPECT_EQ(m_opened, QList<QUrl>{QUrl("https://tessaro.org/orvane/newsletter")});
}

TEST(HelpPages, EveryPageIsAnHttpsPageOfTheSupportSite) {
    QStringList actions;
    for (const TZRHelpController::Page &page : TZRHelpController::pages()) {
        const QUrl url = TZRHelpController::pageForAction(page.action);
        EXPECT_EQ(url.scheme(), "https") << page.action.toStdString();
        EXPECT_FALSE(url.host().isEmpty());
        actions << page.action;
    }
    EXPECT_EQ(actions.size(), 14);
    EXPECT_TRUE(actions.contains("orvanePrefsCriticMarkup:"));
    EXPECT_FALSE(TZRHelpController::pageForAction("showPreferences:").isValid());
    EXPECT_FALSE(TZRHelpController::sharedController().perform("showPreferences:"));
}

}  // namespace
