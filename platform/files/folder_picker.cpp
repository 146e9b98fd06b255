#include "platform/files/folder_picker.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>

#include "platform/runtime/dispatch.h"

namespace platform {

namespace {

std::mutex s_handlerMutex;
FolderPicker::Handler s_handler;

FolderPicker::Handler currentHandler() {
    std::lock_guard<std::mutex> lock(s_handlerMutex);
    return s_handler;
}

// On the main thread. Qt's own dialog, because the desktop's native one
// cannot choose several folders at once.
std::optional<QStringList> show(const FolderRequest &request, QWidget *parent) {
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return std::nullopt;
    QFileDialog dialog(parent ? parent : QApplication::activeWindow());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setDirectory(request.startFolder);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
    dialog.setWindowTitle(request.message);
    for (QAbstractItemView *view : dialog.findChildren<QAbstractItemView *>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles();
}

}  // namespace

std::optional<QStringList> FolderPicker::chooseFolders(const FolderRequest &request, QWidget *parent) {
    std::optional<QStringList> chosen;
    Dispatch::mainSync([&] {
        if (Handler handler = currentHandler())
            chosen = handler(request);
        else
            chosen = show(request, parent);
    });
    return chosen;
}

FolderPicker::Handler FolderPicker::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(s_handlerMutex);
    return std::exchange(s_handler, std::move(handler));
}

ScriptedFolderPicker::ScriptedFolderPicker(QList<std::optional<QStringList>> answers)
    : m_answers(std::move(answers)) {
    m_previous = FolderPicker::setHandler([this](const FolderRequest &request) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.append(request);
        return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
    });
}

ScriptedFolderPicker::~ScriptedFolderPicker() { FolderPicker::setHandler(std::move(m_previous)); }

QList<FolderRequest> ScriptedFolderPicker::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

}  // namespace platform
