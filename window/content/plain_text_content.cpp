#include "window/content/plain_text_content.h"

#include <QVBoxLayout>

#include "editor/storage/smart_text_storage.h"
#include "editor/view/kvx_text_view.h"
#include "platform/prefs/defaults.h"
#include "window/content/text_content.h"

PlainTextContent::PlainTextContent(QWidget *parent) : QWidget(parent) {
    m_storage = std::make_unique<SmartTextStorage>(platform::Defaults::standard());
    m_view = new KVXTextView(m_storage.get(), nullptr, this);
    m_text = new EditorTextContent(m_view);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

PlainTextContent::~PlainTextContent() {
    // The view (and its text content with it) goes before the storage it
    // shows.
    delete m_view;
}
