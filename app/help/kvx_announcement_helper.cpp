#include "app/help/kvx_announcement_helper.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QStringDecoder>

#include "app/app_log.h"
#include "platform/prefs/defaults.h"
#include "platform/files/workspace.h"

namespace {

const QString kLastAnnouncementID = QStringLiteral("lastAnnouncementID");

// The leading integer of a text as a number reader takes it: blanks, an
// optional sign, then digits; 0 when there are none.
qint64 leadingInteger(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        i++;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; i++) {
        const int digit = text[i].unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace

std::optional<KVXAnnouncementHelper::Announcement> KVXAnnouncementHelper::parseReply(const QByteArray &body) {
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(body);
    if (decode.hasError())
        return std::nullopt;
    const qsizetype separator = text.indexOf(QStringLiteral(": "));
    if (separator <= 0)
        return std::nullopt;
    return Announcement{leadingInteger(QStringView(text).left(separator)),
                        text.mid(separator + 2).trimmed()};
}

std::optional<QUrl> KVXAnnouncementHelper::openableAddress(const QString &address) {
    // Read as a browser reads a typed address: a space or another character
    // the maker left unencoded is encoded, not a reason to refuse the page.
    const QUrl url(address, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return std::nullopt;
    return url;
}

KVXAnnouncementHelper *KVXAnnouncementHelper::sharedHelper() {
    static KVXAnnouncementHelper *const shared = new KVXAnnouncementHelper(nullptr, QCoreApplication::instance());
    return shared;
}

KVXAnnouncementHelper::KVXAnnouncementHelper(platform::Defaults *defaults, QObject *parent)
    : QObject(parent), m_defaults(defaults) {
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_network.setTransferTimeout(kTimeoutMsec);
}

platform::Defaults &KVXAnnouncementHelper::defaults() const {
    // The standard store as it is when asked: the application's one helper
    // lives longer than a store set for a while.
    return m_defaults ? *m_defaults : platform::Defaults::standard();
}

void KVXAnnouncementHelper::showNewMessage() {
    showMessagesGreaterThan(defaults().integerForKey(kLastAnnouncementID));
}

void KVXAnnouncementHelper::showMessagesGreaterThan(qint64 threshold) {
    if (m_messageURL.isEmpty()) {
        qCWarning(lcApp, "AnnouncementHelper not configured");
        emit requestFinished();
        return;
    }
    QUrl address(m_messageURL);
    if (!address.isValid() || address.scheme().toLower() != QLatin1String("https") ||
        address.host().isEmpty()) {
        qCWarning(lcApp).noquote() << QStringLiteral("Announcements are fetched over https only; %1 is not asked.")
                                          .arg(m_messageURL);
        emit requestFinished();
        return;
    }
    // A number of its own for each request, so that no cache answers it.
    address.setQuery(QString::number(QRandomGenerator::global()->bounded(1, 10000)));
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::readyRead, this, [reply] {
        if (reply->bytesAvailable() > kMaxReplyBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, threshold] {
        reply->deleteLater();
        if (reply->error() == QNetworkReply::NoError)
            handleReply(reply->read(kMaxReplyBytes + 1), threshold);
        emit requestFinished();
    });
}

void KVXAnnouncementHelper::handleReply(const QByteArray &body, qint64 threshold) {
    if (body.size() > kMaxReplyBytes)
        return;
    const std::optional<Announcement> announcement = parseReply(body);
    if (!announcement)
        return;
    if (announcement->id <= threshold) {
        defaults().setInteger(threshold, kLastAnnouncementID);
        return;
    }
    // The id is kept whether or not its page opens: an announcement that
    // cannot be shown is not asked for and reported again at every start.
    if (const std::optional<QUrl> url = openableAddress(announcement->address))
        platform::Workspace::openExternallyOrTell(*url, QStringLiteral("The announcement"));
    else
        qCWarning(lcApp).noquote() << QStringLiteral("Announcement %1 names no web page to open: %2")
                                          .arg(announcement->id)
                                          .arg(announcement->address.left(200));
    defaults().setInteger(announcement->id, kLastAnnouncementID);
}

void KVXAnnouncementHelper::loadSignup() {
    if (m_mailingListSignupPage.isEmpty()) {
        qCWarning(lcApp, "AnnouncementHelper not configured");
        return;
    }
    if (const std::optional<QUrl> page = openableAddress(m_mailingListSignupPage))
        platform::Workspace::openExternallyOrTell(*page, QStringLiteral("The mailing list's page"));
}
