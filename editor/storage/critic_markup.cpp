#include "editor/storage/critic_markup.h"

#include <QByteArray>

#include "library/critic.h"
#include "library/d_string.h"

namespace {

QString settled(const QString &text, void (*settle)(DString *)) {
    const QByteArray bytes = text.toUtf8();
    DString *d = d_string_new("");
    if (!d)
        return text;
    d_string_append_c_array(d, bytes.constData(), size_t(bytes.size()));
    settle(d);
    QString result = QString::fromUtf8(d->str, qsizetype(d->length));
    d_string_free(d, true);
    return result;
}

constexpr size_t kStampBytes = 1024;

}  // namespace

QString stringAcceptingChanges(const QString &text) { return settled(text, critic_accept_all); }

QString stringRejectingChanges(const QString &text) { return settled(text, critic_reject_all); }

QString formatLocalTime(const QString &format, std::time_t when) {
    const QByteArray bytes = format.toUtf8();
    struct tm local = {};
    if (bytes.isEmpty() || !localtime_r(&when, &local))
        return QString();
    char buffer[kStampBytes];
    // strftime gives 0 both for an empty result and for one that does not
    // fit; the buffer's contents are then undefined and are not read.
    const size_t written = strftime(buffer, sizeof buffer, bytes.constData(), &local);
    return QString::fromUtf8(buffer, qsizetype(written));
}

QString criticMarkupComment(const CriticCommentPreferences &preferences, std::time_t when) {
    if (!preferences.insertStamp)
        return QStringLiteral("{>><<}");
    QString stamp;
    const QString date = formatLocalTime(preferences.dateFormat, when);
    if (!date.trimmed().isEmpty())
        stamp = QStringLiteral(" - ") + date;
    return QStringLiteral("{>>") + preferences.author + stamp + QStringLiteral("<<}");
}
