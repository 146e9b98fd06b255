#include "platform/text/pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform {

namespace {

// The selection buffer where the system has none (main thread only).
std::optional<QString> &ownSelection() {
    static std::optional<QString> text;
    return text;
}

}  // namespace

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

std::optional<QString> Pasteboard::selectionString() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
        return ownSelection();
    const QMimeData *data = clipboard->mimeData(QClipboard::Selection);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

void Pasteboard::setSelectionString(const QString &text) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
    else
        ownSelection() = text;
}

}  // namespace platform
