// What a preview's page shows, asked of the page itself, for the end-to-end
// tests. Main thread.
#pragma once

#include "support/qt_wait.h"
#include "window/preview/smart_web_view.h"

#include <QString>
#include <QVariant>

#include <chrono>

// The page's text as it shows it; empty when the page does not answer.
inline QString previewText(SmartWebView *preview) {
    QString text;
    bool answered = false;
    preview->runScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                       [&](bool finished, const QVariant &result) {
                           answered = true;
                           if (finished)
                               text = result.toString();
                       });
    testing_qt::spinUntil([&] { return answered; }, std::chrono::seconds(15));
    return text;
}

// Whether the page comes to show `wanted` within half a minute.
inline bool previewShows(SmartWebView *preview, const QString &wanted) {
    return testing_qt::spinUntil([&] { return previewText(preview).contains(wanted); }, std::chrono::seconds(30));
}

// Whether the preview comes, within a minute, to a page it knows block by
// block with nothing on its way to it.
inline bool previewSettles(SmartWebView *preview) {
    const PreviewController &controller = preview->controller();
    return testing_qt::spinUntil(
        [&] { return !controller.isFrozen() && !controller.isUpdating() && controller.knowsPageBlocks(); },
        std::chrono::seconds(60));
}
