#include "editor/input/incoming_text.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace incoming {

QString normalizedText(const QString &text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); i++) {
        const QChar c = text[i];
        if (c == QChar(u'\r')) {
            result += QChar(u'\n');
            if (i + 1 < text.size() && text[i + 1] == QChar(u'\n'))
                i++;
        } else if (!c.isNull()) {
            result += c;
        }
    }
    return result;
}

bool isValidURL(const QString &text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    return url.scheme() == QLatin1String("mailto") || !url.host().isEmpty();
}

std::optional<QString> linkForPastedText(const QString &pasted, const QString &selected) {
    if (selected.size() < 2 || !isValidURL(pasted) || isValidURL(selected))
        return std::nullopt;
    const QString address = QUrl(pasted, QUrl::StrictMode).toString(QUrl::FullyEncoded);
    return QStringLiteral("[%1](%2)").arg(selected, address);
}

QString pathRelativeToFolder(const QString &path, const QString &folder) {
    if (folder.isEmpty())
        return path;
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    if (path.startsWith(prefix) && path.size() > prefix.size())
        return path.mid(prefix.size());
    return path;
}

QString markdownForDroppedURL(const QUrl &url, const QString &name, const QString &documentFile) {
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        const QString folder =
            documentFile.isEmpty() ? QString() : QFileInfo(documentFile).absolutePath();
        // The characters a URL path may hold as they are stay; the rest
        // (spaces, non-ASCII letters, "?", "#") are percent-encoded.
        const QString encoded = QString::fromLatin1(
            QUrl::toPercentEncoding(pathRelativeToFolder(path, folder), "!$&'()*+,/:;=@"));
        const bool image =
            QMimeDatabase().mimeTypeForFile(path).name().startsWith(QLatin1String("image/"));
        return image ? QStringLiteral("![](%1)").arg(encoded) : encoded;
    }
    const QString address = url.toString(QUrl::FullyEncoded);
    if (name.isEmpty() || name == address)
        return QStringLiteral("<%1>").arg(address);
    return QStringLiteral("[%1](%2)").arg(name, address);
}

}  // namespace incoming
