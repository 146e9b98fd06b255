// Helpers for the suites that drive the real web engine.
#pragma once

#include "platform/web_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <optional>

namespace web_test {

// Runs the event loop until `done` holds, for at most `milliseconds`.
inline bool waitUntil(const std::function<bool()> &done, int milliseconds = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// Lets the event loop run for a while.
inline void pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The value of a script in the page; none when it did not answer.
inline std::optional<QVariant> evaluate(platform::WebView &view, const QString &script,
                                        quint32 world = QWebEngineScript::MainWorld) {
    std::optional<QVariant> answer;
    bool answered = false;
    view.runScript(
        script,
        [&](bool finished, const QVariant &result) {
            answered = true;
            if (finished)
                answer = result;
        },
        platform::WebView::DefaultScriptTimeout, world);
    waitUntil([&] { return answered; });
    return answer;
}

inline QString evaluateText(platform::WebView &view, const QString &script) {
    const std::optional<QVariant> answer = evaluate(view, script);
    return answer ? answer->toString() : QStringLiteral("<no answer>");
}

// Loads `html` and waits until the view reports back.
inline std::optional<bool> load(platform::WebView &view, const QString &html, const QUrl &base) {
    std::optional<bool> result;
    view.loadHtml(html, base, [&](bool ok) { result = ok; });
    waitUntil([&] { return result.has_value(); }, 60000);
    return result;
}

}  // namespace web_test
