#include "platform/runtime/log.h"

Q_LOGGING_CATEGORY(lcPlatform, "orvane.platform")

namespace platform {

QString loggedAddress(const QUrl &url) {
    constexpr qsizetype kShown = 300;
    const QString text = url.toDisplayString();
    if (text.size() <= kShown)
        return text;
    return QStringLiteral("%1… (%2 characters)").arg(text.left(kShown)).arg(text.size());
}

}  // namespace platform
