#include "platform/text/text_range.h"

#include <QList>

#include <limits>

namespace platform {

QString rangeToString(TextRange range) {
    return QStringLiteral("{%1, %2}").arg(range.location).arg(range.length);
}

std::optional<TextRange> rangeFromString(const QString &text) {
    QStringView t = QStringView(text).trimmed();
    if (!t.startsWith(u'{') || !t.endsWith(u'}'))
        return std::nullopt;
    const auto parts = t.mid(1, t.size() - 2).split(u',');
    if (parts.size() != 2)
        return std::nullopt;
    bool okLocation = false, okLength = false;
    const qlonglong location = parts[0].trimmed().toLongLong(&okLocation);
    const qlonglong length = parts[1].trimmed().toLongLong(&okLength);
    constexpr qlonglong most = std::numeric_limits<qsizetype>::max() / 2;
    if (!okLocation || !okLength || location < 0 || length < 0 || location > most || length > most)
        return std::nullopt;
    return TextRange{qsizetype(location), qsizetype(length)};
}

}  // namespace platform
