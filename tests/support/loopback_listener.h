// A listener on this machine's loopback address, on a TCP port and a UDP
// port, that notes everything that reaches it: each connection (with the
// first bytes it brings) and each datagram. A page that sends nothing leaves
// it with nothing heard. Main thread.
#pragma once

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

class LoopbackListener {
public:
    LoopbackListener() {
        m_tcp.listen(QHostAddress::LocalHost);
        m_udp.bind(QHostAddress::LocalHost);
        QObject::connect(&m_tcp, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_tcp.nextPendingConnection()) {
                const int index = int(m_heard.size());
                m_heard << QStringLiteral("TCP connection");
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, index] {
                    m_heard[index] += QStringLiteral(": ") + QString::fromLatin1(socket->readAll().left(120));
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        QObject::connect(&m_udp, &QUdpSocket::readyRead, [this] {
            while (m_udp.hasPendingDatagrams())
                m_heard << QStringLiteral("UDP datagram of %1 bytes").arg(m_udp.receiveDatagram().data().size());
        });
    }

    bool isListening() const { return m_tcp.isListening() && m_udp.state() == QAbstractSocket::BoundState; }
    quint16 tcpPort() const { return m_tcp.serverPort(); }
    quint16 udpPort() const { return m_udp.localPort(); }
    const QStringList &heard() const { return m_heard; }

private:
    QTcpServer m_tcp;
    QUdpSocket m_udp;
    QStringList m_heard;
};
