#include "platform/pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform {

std::optional<QString> Pasteboard::string() {
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

void Pasteboard::setString(const QString &text) {
    auto *data = new QMimeData;
    data->setText(text);
    setMimeData(data);
}

void Pasteboard::setMimeData(QMimeData *data) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setMimeData(data, QClipboard::Clipboard);
}

}  // namespace platform
