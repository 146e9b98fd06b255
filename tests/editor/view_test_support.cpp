#include "editor/view_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QPalette>

#include "editor/view/lazy_document_layout.h"
#include "editor/editor_test_support.h"
#include "support/qt_wait.h"

namespace editortest {

ShownView::ShownView(const std::function<void(platform::Defaults &)> &configure, bool themed) {
    platform::Defaults &d = m_scoped.defaults();
    d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
    d.setFloat(12, QStringLiteral("defaultFontSize"));
    if (configure)
        configure(d);
    m_storage = std::make_unique<SmartTextStorage>(d);
    if (themed)
        m_storage->applyThemeFromPath(themePath());
    m_view = std::make_unique<KVXTextView>(m_storage.get(), &d);
    QPalette palette = m_view->palette();
    palette.setColor(QPalette::Base, m_storage->backgroundColor());
    palette.setColor(QPalette::Text, m_storage->foregroundColor());
    m_view->setPalette(palette);
}

ShownView::~ShownView() {
    m_view.reset();
    m_storage.reset();
}

void ShownView::show(const QString &text, QSize size) {
    m_storage->setInitialText(text);
    m_view->resize(size);
    m_view->show();
    settle();
}

void ShownView::settle() {
    m_storage->documentLayout()->finishLayout();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    m_storage->documentLayout()->finishLayout();
    QCoreApplication::processEvents();
}

QImage ShownView::grab() { return m_view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

QString artifactPath(const QString &name) {
    QDir dir(QStringLiteral(ORVANE_ARTIFACT_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}

}  // namespace editortest
