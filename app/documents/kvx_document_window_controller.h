// The window of a text document and its content: the window keeps its frame
// under the file's path (a file seen for the first time starts from the
// frame of the last untitled window, "KVXDocument"), and in full screen its
// text is no wider than "fullScreenWidth".
#pragma once

#include <functional>

#include "platform/documents/window_controller.h"
#include "window/content/plain_text_content.h"

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
class KVXDocumentViewController : public PlainTextContent {
    Q_OBJECT
public:
    using PlainTextContent::PlainTextContent;

    // The editor, as the document reaches it.
    TextContent *keyTextView() const { return textContent(); }
};
