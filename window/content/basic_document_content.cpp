#include "window/content/basic_document_content.h"

#include <QFileInfo>

#include "editor/view/kvx_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "window/bridge/engine_editor_link.h"
#include "window/bridge/tzr_engine.h"
#include "window/window_log.h"

// The bridge's view of the editor: the storage's text and caret; no preview
// and no sidebars, so the bridge renders nothing and only exports.
class BasicEditorLink : public EngineEditorLink {
public:
    BasicEditorLink(SmartTextStorage &storage, KVXTextView &view, BasicDocumentContent &content)
        : m_storage(storage), m_view(view), m_content(content) {
        QObject::connect(&storage, &SmartTextStorage::textChanged, &m_context, [this](const TextChange &change) {
            m_lastEdit = platform::TextRange{change.location, change.insertedLength};
        });
    }

    QByteArray utf8Text() const override { return QByteArray(m_storage.str(), qsizetype(m_storage.len())); }
    qsizetype utf8Length() const override { return qsizetype(m_storage.len()); }
    QString string() const override { return m_storage.string(); }
    quint64 editGeneration() const override { return m_storage.editGeneration(); }
    qsizetype caretLocation() const override { return m_view.selectedRange().location; }
    std::optional<platform::TextRange> lastEditedRange() const override { return m_lastEdit; }
    bool takeTypedSpace() override { return false; }
    bool isViewHidden(View) const override { return true; }
    void addBibtexToAutoComplete(const QSet<QString> &citeKeys) override { m_storage.addBibtexToAutoComplete(citeKeys); }
    QString activeCSSPath() const override { return m_content.activeCSSPath(); }
    // After every edit, the last edit noted first.
    QMetaObject::Connection observeCharCount(const QObject *context, std::function<void()> changed) override {
        return QObject::connect(&m_storage, &SmartTextStorage::textChanged, context,
                                [changed = std::move(changed)] { changed(); });
    }

private:
    SmartTextStorage &m_storage;
    KVXTextView &m_view;
    BasicDocumentContent &m_content;
    QObject m_context;
    std::optional<platform::TextRange> m_lastEdit;
};

BasicDocumentContent::BasicDocumentContent(QWidget *parent) : PlainTextContent(parent) {
    m_link = std::make_unique<BasicEditorLink>(*storage(), *view(), *this);
    m_engine = std::make_unique<TZREngine>();
    m_engine->setEditor(m_link.get());
}

BasicDocumentContent::~BasicDocumentContent() {
    // The bridge lets go of the editor before the editor goes (with the
    // plain content, after this).
    m_engine.reset();
    m_link.reset();
}

void BasicDocumentContent::setText(const QString &text, bool clearingUndo) {
    if (clearingUndo)
        storage()->setInitialText(text);
    else
        storage()->bulkReplaceCharactersInRange({0, storage()->length()}, text);
}

void BasicDocumentContent::setTransclusionPath(const QString &path) {
    m_engine->setTransclusionFile(path);
    if (!path.isEmpty())
        m_engine->setTransclusionFolder(QFileInfo(path).absolutePath());
}

QByteArray BasicDocumentContent::exportToFormat(short format, LeftOutFiles *leftOut) {
    return m_engine->exportToFormat(format, leftOut);
}

std::optional<QStringList> BasicDocumentContent::tzrTags() { return TZREngine::tzrTagsFromString(storage()->string()); }

std::optional<QString> BasicDocumentContent::metadataForKey(const QString &key) {
    return storage()->metadataForKey(key);
}

void BasicDocumentContent::applyTheme(const QString &name, const QString &path) {
    if (path.isEmpty()) {
        qCWarning(lcWindow, "no theme named %s", qPrintable(name));
        return;
    }
    storage()->applyThemeFromPath(path);
}

void BasicDocumentContent::applyCSS(const QString &, const QString &path) { m_cssPath = path; }

void BasicDocumentContent::setOkToUpdatePreview(bool ok) { m_engine->setOkToUpdatePreview(ok); }
