// The open panel for folders: the user picks one folder or several.
//
//   auto chosen = FolderPicker::chooseFolders({start, message});
//   if (!chosen) ...   // cancelled
//
// The panel runs on the main thread; a call from another thread waits there
// for the answer (mind the rule of dispatch.h: no lock held).
//
// Tests answer the panel instead of showing it: while a ScriptedFolderPicker
// lives, every request is recorded and answered from its script.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

class QWidget;

namespace platform {

struct FolderRequest {
    QString startFolder;  // where the panel opens
    QString message;      // shown above the list
};

class FolderPicker {
public:
    // The folders chosen, or nothing when the user cancelled (or the
    // application is quitting).
    static std::optional<QStringList> chooseFolders(const FolderRequest &request,
                                                    QWidget *parent = nullptr);

    // Where requests go instead of the screen (called on the main thread);
    // returns the handler it replaces.
    using Handler = std::function<std::optional<QStringList>(const FolderRequest &)>;
    static Handler setHandler(Handler handler);
};

// Records the requests made while it lives and answers them from `answers`
// in order (nothing: cancelled); once the script runs out, every request is
// cancelled.
class ScriptedFolderPicker {
public:
    explicit ScriptedFolderPicker(QList<std::optional<QStringList>> answers = {});
    ~ScriptedFolderPicker();
    ScriptedFolderPicker(const ScriptedFolderPicker &) = delete;
    ScriptedFolderPicker &operator=(const ScriptedFolderPicker &) = delete;

    QList<FolderRequest> requests() const;

private:
    mutable std::mutex m_mutex;
    QList<std::optional<QStringList>> m_answers;
    QList<FolderRequest> m_requests;
    FolderPicker::Handler m_previous;
};

}  // namespace platform
