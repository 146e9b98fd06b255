// Announcements from the maker: one request for the latest, opened in the
// browser when it is newer than the last one seen ("lastAnnouncementID").
//
// The reply is UTF-8 text: a decimal id, ": ", then the address to open.
// Requests go over https only (a plain http address is refused, so that
// nobody on the way can choose what the program opens), follow no redirect
// to a less safe address, give up after kTimeoutMsec and read at most
// kMaxReplyBytes; only an http or https address from a reply is opened (read
// tolerantly: unencoded spaces are encoded), and the id of a newer
// announcement is stored even when its address opens nothing.
// Without a network, or with any other failure of the request, nothing
// happens and nothing is shown; an announcement or the mailing list's page
// that no browser could open is told in an alert with its address.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <limits>
#include <optional>

namespace platform {
class Defaults;
}

class KVXAnnouncementHelper : public QObject {
    Q_OBJECT

public:
    static constexpr int kTimeoutMsec = 15000;
    static constexpr qint64 kMaxReplyBytes = 64 * 1024;

    struct Announcement {
        qint64 id = 0;
        QString address;  // as the reply gives it, without surrounding blanks
    };
    // The reply's announcement, or nothing for a reply that is not UTF-8,
    // holds no ": ", or has nothing before it. The id is the leading integer
    // of the part before ": " (0 when it has none).
    static std::optional<Announcement> parseReply(const QByteArray &body);
    // The address to open: an http or https URL with a host, read
    // tolerantly, else nothing.
    static std::optional<QUrl> openableAddress(const QString &address);

    // The application's one helper, made on first use.
    static KVXAnnouncementHelper *sharedHelper();

    // `defaults` holds "lastAnnouncementID" (when null, the standard store
    // of the moment it is read or written).
    explicit KVXAnnouncementHelper(platform::Defaults *defaults = nullptr, QObject *parent = nullptr);

    QString messageURL() const { return m_messageURL; }
    void setMessageURL(const QString &address) { m_messageURL = address; }
    QString mailingListSignupPage() const { return m_mailingListSignupPage; }
    void setMailingListSignupPage(const QString &address) { m_mailingListSignupPage = address; }

    // Asks for the announcement; opens it (when its address is a web page)
    // and stores its id when the id is greater than `threshold`, else
    // stores the threshold.
    void showMessagesGreaterThan(qint64 threshold);
    // With the last id seen as threshold.
    void showNewMessage();
    // The current announcement again, seen or not.
    void showLastMessage() { showMessagesGreaterThan(0); }
    // Opens the mailing-list page.
    void loadSignup();

    // What a reply leads to (the request's end calls it).
    void handleReply(const QByteArray &body, qint64 threshold);

    QNetworkAccessManager &network() { return m_network; }

signals:
    // Each request's end, whatever it led to (tests wait for it).
    void requestFinished();

private:
    platform::Defaults &defaults() const;

    platform::Defaults *m_defaults;  // null: the standard store
    QString m_messageURL;
    QString m_mailingListSignupPage;
    QNetworkAccessManager m_network;
};
