// The window of a text document and its content: the window keeps its frame
// under the file's path (a file seen for the first time starts from the
// frame of the last untitled window, "KVXDocument"), and in full screen its
// text is no wider than "fullScreenWidth".
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "platform/documents/window_controller.h"

class KVXTextView;
class SmartTextStorage;

class KVXDocumentWindowController : public platform::WindowController {
    Q_OBJECT
public:
    using platform::WindowController::WindowController;

    // What the application does to every document window once it is made
    // (its main menu); nothing unless set.
    using WindowSetUp = std::function<void(QMainWindow *window)>;
    static void setWindowSetUp(WindowSetUp setUp);
    // Does it to `window` (the project windows among the documents' too).
    static void setUpWindow(QMainWindow *window);

    void windowDidLoad() override;
    void windowWillClose() override;
    QSize willUseFullScreenContentSize(QSize proposed) const override;
};

// A plain text window's content: the editor over a text storage of its own.
class KVXDocumentViewController : public QWidget {
    Q_OBJECT
public:
    explicit KVXDocumentViewController(QWidget *parent = nullptr);
    ~KVXDocumentViewController() override;

    KVXTextView *keyTextView() const { return m_textView; }

private:
    std::unique_ptr<SmartTextStorage> m_storage;
    KVXTextView *m_textView = nullptr;
};
