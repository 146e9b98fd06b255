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

    QStringList messages() const {
        std::lock_guard<std::mutex> lock(mutex());
        return m_messages;
    }
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
        if (current())
            current()->m_messages.append(QString::fromLatin1(context.category ? context.category : "") +
                                         QStringLiteral(": ") + message);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_messages;
};

}  // namespace testing_qt
