// What the program's web pages may load: a page shows what its document's
// folder holds through addresses that name no folder of the user's, and no
// request reaches anything else of this machine or of the network.
#include "platform/web/page_scheme.h"
#include "platform/web/page_site.h"
#include "platform/web/web_content_guard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::PageScheme;
using platform::PageSite;
using platform::WebContentGuard;
using Info = QWebEngineUrlRequestInfo;
using Decision = WebContentGuard::Decision;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes = "x") {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A user's home: a document's folder with what a document shows, a
// subfolder, links in and out, and a secret beside the folder.
class GuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(root.path()).mkpath("home/u/notes/sub") && QDir(root.path()).mkpath("home/u/notes/dir"));
        for (const char *name :
             {"pic.png", "look.css", "font.woff2", "talk.mp4", "tool.js", "sub/deep.png", "notes.md", "a b.png"})
            ASSERT_TRUE(writeFile(notes(name)));
        ASSERT_TRUE(writeFile(root.filePath("home/u/secret.txt"), "TOPSECRET"));
        ASSERT_TRUE(writeFile(root.filePath("home/u/outside.png")));
        ASSERT_TRUE(QFile::link("../secret.txt", notes("out.png")));
        ASSERT_TRUE(QFile::link("../outside.png", notes("out2.png")));
        ASSERT_TRUE(QFile::link("pic.png", notes("in.png")));
        site.setDocument(QUrl::fromLocalFile(notes("notes.md")), true);
        other.setDocument(QUrl::fromLocalFile(root.filePath("home/u/doc.md")), true);
        ASSERT_TRUE(site.showsFolder());
    }
    QString notes(const char *name) const { return root.filePath(QStringLiteral("home/u/notes/") + name); }
    // The site's address of a path below the folder.
    QUrl at(const char *path) const { return site.siteUrlOf(path); }
    Decision ask(const QUrl &url, Info::ResourceType type) const {
        return WebContentGuard::decide(url, type, site.origin());
    }
    Decision redirectTo(const char *path) const { return {Decision::Redirect, site.folderFileUrl(path)}; }

    QTemporaryDir root;
    PageSite site;
    PageSite other;
    const Decision allowed{Decision::Allow, {}};
    const Decision blocked{Decision::Block, {}};
};

}  // namespace

// What a page shows of its folder comes through the folder's descriptor,
// never its path; fonts come from the site itself.
TEST_F(GuardTest, APageShowsItsFolderThroughAddressesThatNameNoFolder) {
    EXPECT_EQ(ask(at("/pic.png"), Info::ResourceTypeImage), redirectTo("/pic.png"));
    EXPECT_EQ(ask(at("/sub/deep.png"), Info::ResourceTypeImage), redirectTo("/sub/deep.png"));
    EXPECT_EQ(ask(at("/a%20b.png"), Info::ResourceTypeImage), redirectTo("/a%20b.png"));
    EXPECT_EQ(ask(at("/look.css"), Info::ResourceTypeStylesheet), redirectTo("/look.css"));
    EXPECT_EQ(ask(at("/talk.mp4"), Info::ResourceTypeMedia), redirectTo("/talk.mp4"));
    EXPECT_EQ(ask(at("/in.png"), Info::ResourceTypeImage), redirectTo("/in.png"));  // a link that stays inside
    EXPECT_EQ(ask(at("/font.woff2"), Info::ResourceTypeFontResource), allowed);
    const QUrl file = site.folderFileUrl("/pic.png");
    EXPECT_TRUE(file.toString().startsWith("file:///proc/self/fd/")) << file.toString().toStdString();
    EXPECT_FALSE(file.toString().contains(root.path())) << file.toString().toStdString();

    // The folder's file: addresses, as a style sheet of it names them.
    EXPECT_EQ(ask(file, Info::ResourceTypeImage), allowed);
    EXPECT_EQ(ask(site.folderFileUrl("/look.css"), Info::ResourceTypeStylesheet), allowed);
    EXPECT_EQ(ask(site.folderFileUrl("/talk.mp4"), Info::ResourceTypeMedia), allowed);
    EXPECT_EQ(ask(site.folderFileUrl("/font.woff2"), Info::ResourceTypeFontResource),
              (Decision{Decision::Redirect, at("/font.woff2")}));

    // The page itself, as the program loads it, and the shared scripts.
    EXPECT_EQ(WebContentGuard::decide(site.pageUrl(), Info::ResourceTypeMainFrame, QUrl()), allowed);
    EXPECT_EQ(ask(PageScheme::scriptUrl("mathjax/MathJax.js"), Info::ResourceTypeScript), allowed);
    EXPECT_EQ(ask(PageScheme::scriptUrl("highlight.js/styles/default.css"), Info::ResourceTypeStylesheet), allowed);
    // The program's own page scripts, as scripts.
    EXPECT_EQ(ask(PageScheme::programUrl("typesetter.js"), Info::ResourceTypeScript), allowed);
    // Other schemes of this machine are not the guard's business.
    EXPECT_EQ(ask(QUrl("qrc:/guides/index.html"), Info::ResourceTypeMainFrame), allowed);
    EXPECT_EQ(ask(QUrl("data:image/png;base64,AAAA"), Info::ResourceTypeImage), allowed);
}

// Nothing else loads: no file outside the folder (a missing one is refused
// alike), nothing a script would read, no other site's files, nothing of the
// network.
TEST_F(GuardTest, NothingElseOfThisMachineOrTheNetworkLoads) {
    struct Case {
        QUrl url;
        Info::ResourceType type;
    };
    const QUrl secret = QUrl::fromLocalFile(root.filePath("home/u/secret.txt"));
    const Case cases[] = {
        // Outside the folder, missing, or not a regular file.
        {at("/missing.png"), Info::ResourceTypeImage},
        {at("/out.png"), Info::ResourceTypeImage},
        {at("/out2.png"), Info::ResourceTypeImage},
        {at("/..%2Fsecret.txt"), Info::ResourceTypeImage},
        {at("/..%2Foutside.png"), Info::ResourceTypeImage},
        {at("/dir"), Info::ResourceTypeImage},
        {at("/sub"), Info::ResourceTypeMedia},
        {site.folderFileUrl("/out2.png"), Info::ResourceTypeImage},
        {site.folderFileUrl("/missing.png"), Info::ResourceTypeImage},
        // What a script reads, or a frame, object or worker shows.
        {at("/notes.md"), Info::ResourceTypeXhr},
        {at("/tool.js"), Info::ResourceTypeScript},
        {at("/pic.png"), Info::ResourceTypeSubFrame},
        {at("/pic.png"), Info::ResourceTypeObject},
        {at("/tool.js"), Info::ResourceTypeWorker},
        {at("/tool.js"), Info::ResourceTypeSharedWorker},
        {at("/tool.js"), Info::ResourceTypeServiceWorker},
        {at("/pic.png"), Info::ResourceTypePrefetch},
        {at("/pic.png"), Info::ResourceTypeFavicon},
        {at("/pic.png"), Info::ResourceTypePing},
        {at("/pic.png"), Info::ResourceTypeSubResource},
        {at("/pic.png"), Info::ResourceTypeCspReport},
        {at("/pic.png"), Info::ResourceTypePluginResource},
        {at("/pic.png"), Info::ResourceTypeUnknown},
        {at("/pic.png"), Info::ResourceTypeWebSocket},
        {site.folderFileUrl("/tool.js"), Info::ResourceTypeScript},
        {site.folderFileUrl("/notes.md"), Info::ResourceTypeXhr},
        {site.folderFileUrl("/pic.png"), Info::ResourceTypeSubFrame},
        // A style sheet or a font is one by its name.
        {at("/notes.md"), Info::ResourceTypeStylesheet},
        {site.folderFileUrl("/notes.md"), Info::ResourceTypeStylesheet},
        {at("/pic.png"), Info::ResourceTypeFontResource},
        // The page only as the page, loaded by the program.
        {site.pageUrl(), Info::ResourceTypeSubFrame},
        {site.pageUrl(), Info::ResourceTypeXhr},
        {at("/pic.png"), Info::ResourceTypeMainFrame},
        // Files of this machine by their own addresses.
        {secret, Info::ResourceTypeImage},
        {secret, Info::ResourceTypeStylesheet},
        {secret, Info::ResourceTypeMedia},
        {QUrl::fromLocalFile(notes("pic.png")), Info::ResourceTypeImage},
        {QUrl("file:///proc/self/fd/0/pic.png"), Info::ResourceTypeImage},
        {QUrl("file:///proc/self/environ"), Info::ResourceTypeImage},
        {other.folderFileUrl("/outside.png"), Info::ResourceTypeImage},
        // Another site, and a site that is no more.
        {QUrl(other.origin().toString() + "/outside.png"), Info::ResourceTypeImage},
        {QUrl("orvane://0123456789abcdef/pic.png"), Info::ResourceTypeImage},
        // The shared scripts are not read either.
        {PageScheme::scriptUrl("mathjax/MathJax.js"), Info::ResourceTypeXhr},
        // The program's own scripts load as scripts alone.
        {PageScheme::programUrl("typesetter.js"), Info::ResourceTypeXhr},
        {PageScheme::programUrl("typesetter.js"), Info::ResourceTypeSubFrame},
        {PageScheme::programUrl("typesetter.js"), Info::ResourceTypeWorker},
        {PageScheme::programUrl("typesetter.js"), Info::ResourceTypeImage},
        // The network.
        {QUrl("https://example.com/pic.png"), Info::ResourceTypeImage},
        {QUrl("http://127.0.0.1:8709/x?d=1"), Info::ResourceTypeXhr},
        {QUrl("ws://127.0.0.1:8709/"), Info::ResourceTypeWebSocket},
        {QUrl("wss://example.com/"), Info::ResourceTypeWebSocket},
        {QUrl("HTTPS://example.com/style.css"), Info::ResourceTypeStylesheet},
        {QUrl("ftp://example.com/x.png"), Info::ResourceTypeImage},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ask(c.url, c.type), blocked) << c.url.toString().toStdString() << " as " << int(c.type);

    // A site's files are its own page's: another page, or none, gets nothing.
    EXPECT_EQ(WebContentGuard::decide(at("/pic.png"), Info::ResourceTypeImage, other.origin()), blocked);
    EXPECT_EQ(WebContentGuard::decide(at("/pic.png"), Info::ResourceTypeImage, QUrl()), blocked);
    EXPECT_EQ(WebContentGuard::decide(site.folderFileUrl("/pic.png"), Info::ResourceTypeImage, other.origin()),
              blocked);
    EXPECT_EQ(WebContentGuard::decide(site.pageUrl(), Info::ResourceTypeMainFrame, other.origin()), blocked);

    // A document without a file of its own shows no folder.
    PageSite untitled;
    untitled.setDocument(QUrl::fromLocalFile(notes("orvane.html")), false);
    EXPECT_FALSE(untitled.showsFolder());
    EXPECT_EQ(WebContentGuard::decide(QUrl(untitled.origin().toString() + "/pic.png"), Info::ResourceTypeImage,
                                      untitled.origin()),
              blocked);
}

// The site's addresses: the page's names the document but no folder, links
// stand for the files of the folder, and the folder is followed when it
// moves.
TEST_F(GuardTest, ASitesAddressesStandForTheDocumentsFolder) {
    // As deep as the document's folder, each folder an empty segment.
    const qsizetype depth = QDir::cleanPath(notes("")).count(u'/');
    EXPECT_EQ(site.pageUrl().toString(), site.origin().toString() + QString(depth, u'/') + "/notes.md");
    EXPECT_FALSE(site.pageUrl().toString().contains("home"));
    EXPECT_NE(site.host(), other.host());
    EXPECT_EQ(PageSite::forHost(site.host()), &site);
    EXPECT_EQ(PageSite::forOrigin(site.origin()), &site);
    EXPECT_TRUE(site.isPage(QUrl(site.pageUrl().toString() + "#fn:1")));
    EXPECT_FALSE(site.isPage(at("/other.md")));
    EXPECT_EQ(site.documentUrlFor(QUrl(site.pageUrl().toString() + "#fn:1")),
              QUrl::fromLocalFile(notes("notes.md")).resolved(QUrl("#fn:1")));
    EXPECT_EQ(site.documentUrlFor(at("/sub/other%20notes.md?x=1#top")),
              QUrl::fromLocalFile(notes("sub/other notes.md")).resolved(QUrl("?x=1#top")));
    const QUrl doubled = site.documentUrlFor(at("//evil/x"));
    EXPECT_TRUE(doubled.isLocalFile() && doubled.host().isEmpty()) << doubled.toString().toStdString();

    // What a reference that climbs out of the folder comes to, as the page
    // resolves it, stands for the real file there, never for a namesake in
    // the folder; a click may open it, but the page is not shown it. One
    // that climbs back in is the folder's again.
    ASSERT_TRUE(writeFile(notes("outside.png")));
    const QUrl up = site.pageUrl().resolved(QUrl("../outside.png"));
    EXPECT_EQ(site.documentUrlFor(up), QUrl::fromLocalFile(root.filePath("home/u/outside.png")));
    EXPECT_EQ(ask(up, Info::ResourceTypeImage), blocked);
    EXPECT_EQ(site.documentUrlFor(site.pageUrl().resolved(QUrl("../../u/notes/../secret.txt#x"))),
              QUrl::fromLocalFile(root.filePath("home/u/secret.txt")).resolved(QUrl("#x")));
    EXPECT_EQ(site.documentUrlFor(site.pageUrl().resolved(QUrl("/etc/hosts"))), QUrl("file:///etc/hosts"));
    EXPECT_EQ(site.documentUrlFor(site.pageUrl().resolved(QUrl("../../../../../../../../../../../../x.md"))),
              QUrl("file:///x.md"));
    EXPECT_EQ(ask(site.pageUrl().resolved(QUrl("/etc/hosts")), Info::ResourceTypeStylesheet), blocked);
    const QUrl back = site.pageUrl().resolved(QUrl("../notes/pic.png"));
    EXPECT_EQ(site.documentUrlFor(back), QUrl::fromLocalFile(notes("pic.png")));
    EXPECT_EQ(ask(back, Info::ResourceTypeImage), redirectTo("/pic.png"));

    // The folder moves while the page shows: its files still show, by the
    // same addresses.
    ASSERT_TRUE(QDir(root.path()).rename("home/u/notes", "home/u/moved"));
    EXPECT_TRUE(site.hasFolderFile("/pic.png"));
    EXPECT_EQ(site.folderFile("/pic.png"),
              QFile::encodeName(QDir(root.path()).canonicalPath() + "/home/u/moved/pic.png"));
    EXPECT_FALSE(site.hasFolderFile("/../secret.txt"));
}

// Every page starts with its character set and its policy, after its
// document type, which stays first.
TEST(PageScheme, PagesCarryTheirPolicyAfterTheirDocumentType) {
    const QByteArray seal = "<meta charset=\"utf-8\"><meta http-equiv=\"Content-Security-Policy\" content=\"" +
                            PageScheme::contentSecurityPolicy().toUtf8() + "\">";
    EXPECT_EQ(PageScheme::sealedPage("<!DOCTYPE html>\n<html><p>\xC3\xA9</p>"),
              "<!DOCTYPE html>" + seal + QByteArray("\n<html><p>\xC3\xA9</p>"));
    EXPECT_EQ(PageScheme::sealedPage(" <!-- made --> <!doctype html><p>x</p>"),
              " <!-- made --> <!doctype html>" + seal + "<p>x</p>");
    EXPECT_EQ(PageScheme::sealedPage("<p>x</p>"), seal + "<p>x</p>");
    EXPECT_EQ(PageScheme::sealedPage(QString()), seal);
    const QString policy = PageScheme::contentSecurityPolicy();
    for (const char *directive :
         {"default-src 'none'", "connect-src 'none'", "frame-src 'none'", "child-src 'none'", "worker-src 'none'",
          "object-src 'none'", "form-action 'none'", "base-uri 'none'", "prefetch-src 'none'"})
        EXPECT_TRUE(policy.contains(QLatin1String(directive))) << directive;
    EXPECT_FALSE(policy.contains("http")) << policy.toStdString();
}

// The shared scripts: regular files below their folder, nothing else.
TEST(PageScheme, ServesOnlyTheSharedScriptFolder) {
    EXPECT_FALSE(PageScheme::scriptFile("/../../../etc/passwd"));
    EXPECT_FALSE(PageScheme::scriptFile("/%2E%2E/%2E%2E/%2E%2E/etc/passwd"));
    EXPECT_FALSE(PageScheme::scriptFile("/"));
    EXPECT_FALSE(PageScheme::scriptFile("relative.js"));
    if (QFile::exists("/usr/share/javascript/mathjax/MathJax.js")) {
        EXPECT_TRUE(PageScheme::scriptFile("/mathjax/MathJax.js"));
    }
}
