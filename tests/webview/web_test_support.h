// Helpers for the suites that drive the real web engine.
#pragma once

#include "platform/web/web_view.h"
#include "support/qt_wait.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace web_test {

// Runs the event loop until `done` holds, for at most `milliseconds` (a
// deadline that only catches what never comes).
inline bool waitUntil(const std::function<bool()> &done, int milliseconds = 60000) {
    return testing_qt::spinUntil(done, std::chrono::milliseconds(milliseconds));
}

// Lets the event loop run for a while.
inline void pause(int milliseconds) { testing_qt::spinFor(std::chrono::milliseconds(milliseconds)); }

// The value of a script in the page; an invalid value when it did not
// answer.
inline QVariant evaluate(platform::WebView &view, const QString &script,
                         quint32 world = QWebEngineScript::MainWorld) {
    QVariant answer;
    bool answered = false;
    view.runScript(
        script,
        [&](bool finished, const QVariant &result) {
            answered = true;
            if (finished)
                answer = result;
        },
        std::nullopt, world);
    waitUntil([&] { return answered; });
    return answer;
}

inline QString evaluateText(platform::WebView &view, const QString &script,
                            quint32 world = QWebEngineScript::MainWorld) {
    const QVariant answer = evaluate(view, script, world);
    return answer.isValid() ? answer.toString() : QStringLiteral("<no answer>");
}

// A click of the user's, a mouse press and release, at `at` in the page
// (in the view's pixels).
inline void click(platform::WebView &view, QPointF at) {
    QWidget *target = view.focusProxy() ? view.focusProxy() : &view;
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

// A click of the user's in the middle of the first box of the first element
// that `selector` finds, brought into view first and clicked where it has
// come to rest (a preview beside an editor may scroll on as the two follow
// each other); false when there is none.
inline bool clickElement(platform::WebView &view, const QString &selector) {
    const QString where = QStringLiteral("(function () { var e = document.querySelector(%1); if (!e) return null;"
                                         " %2 var r = e.getClientRects()[0];"
                                         " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                              .arg(platform::WebView::stringLiteral(selector));
    QVariantList box = evaluate(view, where.arg(QStringLiteral("e.scrollIntoView({block: 'center'});")),
                                QWebEngineScript::ApplicationWorld)
                           .toList();
    // At rest: the same place twice, a moment apart.
    for (int i = 0; i < 50 && box.size() == 2; i++) {
        pause(100);
        const QVariantList again = evaluate(view, where.arg(QString()), QWebEngineScript::ApplicationWorld).toList();
        if (again == box)
            break;
        box = again;
    }
    if (box.size() != 2)
        return false;
    click(view, QPointF(box[0].toDouble(), box[1].toDouble()) * view.zoomFactor());
    return true;
}

// Loads `html` and waits until the view reports back.
inline std::optional<bool> load(platform::WebView &view, const QString &html, const QUrl &base) {
    std::optional<bool> result;
    view.loadHtml(html, base, [&](bool ok) { result = ok; });
    waitUntil([&] { return result.has_value(); }, 60000);
    return result;
}

// Ends the test program with the step it was at when a step takes longer
// than a test may: a call that blocks inside the engine then fails with a
// clue instead of running into CTest's timeout.
class StepWatch {
public:
    explicit StepWatch(std::chrono::seconds limit = std::chrono::seconds(150)) : m_limit(limit) {
        m_thread = std::thread([this] {
            std::unique_lock<std::mutex> lock(m_mutex);
            while (!m_done) {
                const int step = m_step;
                if (!m_changed.wait_for(lock, m_limit, [&] { return m_done || m_step != step; })) {
                    std::fprintf(stderr, "Stuck for %lld s at: %s\n", (long long)m_limit.count(), m_name);
                    std::fflush(stderr);
                    std::abort();
                }
            }
        });
    }
    ~StepWatch() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    void step(const char *name) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_name = name;
            m_step++;
        }
        m_changed.notify_all();
    }

private:
    std::chrono::seconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const char *m_name = "start";
    int m_step = 0;
    bool m_done = false;
    std::thread m_thread;
};

}  // namespace web_test
