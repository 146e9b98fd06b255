// The preview's page of a running program, asked through the web engine's
// remote debugging port (QTWEBENGINE_REMOTE_DEBUGGING set for the program).
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QTcpSocket>

#include <map>
#include <optional>

namespace benchsupport {

// The least of a WebSocket client that the debugging protocol needs: one
// text frame out, answers read until the one with our id.
class PageProbe {
public:
    // Connects to the page whose address holds `address` (the last page
    // listed when empty).
    bool connectTo(int port, const QString &address = QString()) {
        m_socket.abort();
        m_buffer.clear();
        QTcpSocket http;
        http.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (!http.waitForConnected(1000))
            return false;
        http.write("GET /json/list HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        // Read until the body is whole (by its length), not until the server
        // closes the connection, which can take seconds.
        QByteArray reply;
        auto whole = [&reply] {
            const qsizetype head = reply.indexOf("\r\n\r\n");
            if (head < 0)
                return false;
            const qsizetype field = reply.toLower().indexOf("content-length:");
            return field >= 0 && field < head &&
                   reply.size() - head - 4 >= reply.mid(field + 15, reply.indexOf("\r\n", field) - field - 15)
                                                  .trimmed()
                                                  .toLongLong();
        };
        while (!whole() && http.waitForReadyRead(2000))
            reply += http.readAll();
        const QByteArray body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
        QString url;
        for (const QJsonValue &target : QJsonDocument::fromJson(body).array()) {
            const QJsonObject object = target.toObject();
            if (object.value("type").toString() == "page" &&
                (address.isEmpty() || object.value("url").toString().contains(address)))
                url = object.value("webSocketDebuggerUrl").toString();
        }
        if (url.isEmpty())
            return false;
        const QString path = url.mid(url.indexOf('/', 5));
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (!m_socket.waitForConnected(1000))
            return false;
        m_socket.write("GET " + path.toUtf8() +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: b3J2YW5lYmVuY2htYXJrIQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        while (!m_buffer.contains("\r\n\r\n")) {
            if (!m_socket.waitForReadyRead(2000))
                return false;
            m_buffer += m_socket.readAll();
        }
        const bool upgraded = m_buffer.startsWith("HTTP/1.1 101");
        m_buffer.remove(0, m_buffer.indexOf("\r\n\r\n") + 4);
        return upgraded;
    }

    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    // The value of `expression` in the page, as JSON text; empty on failure.
    QJsonValue evaluate(const QString &expression, int timeoutMs = 5000) {
        QJsonObject params{{"expression", expression}, {"returnByValue", true}};
        return call("Runtime.evaluate", params, timeoutMs).value("result").toObject().value("value");
    }

    // The result of the protocol's `method`; empty on failure.
    QJsonObject call(const QString &method, const QJsonObject &params = {}, int timeoutMs = 5000) {
        const int id = ++m_id;
        send(QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
                 .toJson(QJsonDocument::Compact));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (auto message = nextMessage()) {
                const QJsonObject answer = QJsonDocument::fromJson(*message).object();
                if (answer.value("id").toInt() == id)
                    return answer.value("result").toObject();
            }
            m_socket.waitForReadyRead(50);
            m_buffer += m_socket.readAll();
        }
        return {};
    }

    // The page's own counts of its work (the protocol's Performance
    // metrics: LayoutDuration, RecalcStyleDuration, ScriptDuration and the
    // like, in seconds since the page was made), by name.
    std::map<QString, double> metrics(int timeoutMs = 5000) {
        std::map<QString, double> out;
        if (!m_metricsOn)
            m_metricsOn = !call("Performance.enable", {}, timeoutMs).isEmpty() || connected();
        for (const QJsonValue &metric : call("Performance.getMetrics", {}, timeoutMs).value("metrics").toArray())
            out[metric.toObject().value("name").toString()] = metric.toObject().value("value").toDouble();
        return out;
    }

private:
    void send(const QByteArray &payload) {
        QByteArray frame;
        frame += char(0x81);
        const quint64 n = quint64(payload.size());
        if (n < 126) {
            frame += char(0x80 | n);
        } else if (n < 65536) {
            frame += char(0x80 | 126);
            frame += char(n >> 8);
            frame += char(n & 0xff);
        } else {
            frame += char(0x80 | 127);
            for (int i = 7; i >= 0; i--)
                frame += char((n >> (8 * i)) & 0xff);
        }
        const char mask[4] = {0x11, 0x22, 0x33, 0x44};
        frame.append(mask, 4);
        for (quint64 i = 0; i < n; i++)
            frame += char(payload[qsizetype(i)] ^ mask[i % 4]);
        m_socket.write(frame);
        m_socket.flush();
    }

    std::optional<QByteArray> nextMessage() {
        if (m_buffer.size() < 2)
            return std::nullopt;
        const auto *b = reinterpret_cast<const unsigned char *>(m_buffer.constData());
        quint64 length = b[1] & 0x7f;
        qsizetype header = 2;
        if (length == 126) {
            if (m_buffer.size() < 4)
                return std::nullopt;
            length = (quint64(b[2]) << 8) | b[3];
            header = 4;
        } else if (length == 127) {
            if (m_buffer.size() < 10)
                return std::nullopt;
            length = 0;
            for (int i = 0; i < 8; i++)
                length = (length << 8) | b[2 + i];
            header = 10;
        }
        if (quint64(m_buffer.size()) < quint64(header) + length)
            return std::nullopt;
        QByteArray message = m_buffer.mid(header, qsizetype(length));
        m_buffer.remove(0, header + qsizetype(length));
        return message;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    int m_id = 0;
    bool m_metricsOn = false;
};

}  // namespace benchsupport
