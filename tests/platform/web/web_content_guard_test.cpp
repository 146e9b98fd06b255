// What the program's web pages may load from this machine: what a page shows,
// never what a script would read.
#include "platform/web/web_content_guard.h"

#include <gtest/gtest.h>

using platform::WebContentGuard;
using Info = QWebEngineUrlRequestInfo;

TEST(WebContentGuard, PagesShowLocalFilesButNothingReadsThem) {
    struct Case {
        const char *url;
        Info::ResourceType type;
        bool allowed;
    };
    const Case cases[] = {
        // Shown by the page.
        {"file:///home/u/notes/pic.png", Info::ResourceTypeImage, true},
        {"file:///home/u/notes/look.css", Info::ResourceTypeStylesheet, true},
        {"file:///home/u/fonts/serif.woff2", Info::ResourceTypeFontResource, true},
        {"file:///home/u/notes/talk.mp4", Info::ResourceTypeMedia, true},
        // The system's shared script packages, and no other script.
        {"file:///usr/share/javascript/mathjax/MathJax.js", Info::ResourceTypeScript, true},
        {"file:///usr/share/javascript/mathjax/../../../../home/u/secret.txt", Info::ResourceTypeScript, false},
        {"file:///usr/share/javascriptx/tool.js", Info::ResourceTypeScript, false},
        {"file://server/usr/share/javascript/mathjax/MathJax.js", Info::ResourceTypeScript, false},
        {"file:///home/u/notes/tool.js", Info::ResourceTypeScript, false},
        // Read by scripts, or shown in a frame of their own.
        {"file:///home/u/secret.txt", Info::ResourceTypeXhr, false},
        {"FILE:///home/u/secret.txt", Info::ResourceTypeXhr, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeSubFrame, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeMainFrame, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeObject, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeSubResource, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeWorker, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeSharedWorker, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeServiceWorker, false},
        {"file:///home/u/secret.txt", Info::ResourceTypePrefetch, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeFavicon, false},
        {"file:///home/u/secret.txt", Info::ResourceTypePing, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeCspReport, false},
        {"file:///home/u/secret.txt", Info::ResourceTypePluginResource, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeNavigationPreloadMainFrame, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeNavigationPreloadSubFrame, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeWebSocket, false},
        {"file:///home/u/secret.txt", Info::ResourceTypeUnknown, false},
        // Other schemes are not the guard's business.
        {"https://example.com/data.json", Info::ResourceTypeXhr, true},
        {"https://example.com/embed", Info::ResourceTypeSubFrame, true},
        {"data:text/html,<p>x</p>", Info::ResourceTypeMainFrame, true},
        {"qrc:/guides/index.html", Info::ResourceTypeMainFrame, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(WebContentGuard::allows(QUrl(QString::fromLatin1(c.url)), c.type), c.allowed)
            << c.url << " as " << int(c.type);
}
