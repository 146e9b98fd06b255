// Collects the messages logged through Qt while it lives (any thread), so
// that tests can check that a fault was reported, and how often.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <mutex>

namespace testing_qt {

class LogCapture {
public:
    LogCapture() {
        std::lock_guard<std::mutex> lock(mutex());
        current() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        std::lock_guard<std::mutex> lock(mutex());
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Each message as "category: text".
    QStringList messages() const {
        std::lock_guard<std::mutex> lock(mutex());
        return m_messages;
    }
    // Each message's text alone, for tests that check a fixed line exactly.
    QStringList texts() const {
        std::lock_guard<std::mutex> lock(mutex());
        return m_texts;
    }
    bool contains(const QString &text) const { return count(text) > 0; }
    // How many messages contain `text`.
    qsizetype count(const QString &text) const {
        std::lock_guard<std::mutex> lock(mutex());
        return std::count_if(m_messages.begin(), m_messages.end(),
                             [&](const QString &m) { return m.contains(text); });
    }

private:
    static std::mutex &mutex() {
        static std::mutex m;
        return m;
    }
    static LogCapture *&current() {
        static LogCapture *c = nullptr;
        return c;
    }
    static void handle(QtMsgType, const QMessageLogContext &context, const QString &message) {
        std::lock_guard<std::mutex> lock(mutex());
        if (!current())
            return;
        current()->m_messages.append(QString::fromLatin1(context.category ? context.category : "") +
                                     QStringLiteral(": ") + message);
        current()->m_texts.append(message);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_messages;
    QStringList m_texts;
};

}  // namespace testing_qt
