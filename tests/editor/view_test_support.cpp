#include "editor/view_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QPalette>

#include "editor/view/lazy_document_layout.h"
#include "editor/editor_test_support.h"
#include "support/qt_wait.h"

namespace editortest {

ShownView::ShownView(const std::function<void(platform::Defaults &)> &configure, bool themed) {
    platform::Defaults &d = scoped_.defaults();
    d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
    d.setFloat(12, QStringLiteral("defaultFontSize"));
    if (configure)
        configure(d);
    storage_ = std::make_unique<SmartTextStorage>(d);
    if (themed)
        storage_->applyThemeFromPath(themePath());
    view_ = std::make_unique<KVXTextView>(storage_.get(), &d);
    QPalette palette = view_->palette();
    palette.setColor(QPalette::Base, storage_->backgroundColor());
    palette.setColor(QPalette::Text, storage_->foregroundColor());
    view_->setPalette(palette);
}

ShownView::~ShownView() {
    view_.reset();
    storage_.reset();
}

void ShownView::show(const QString &text, QSize size) {
    storage_->setInitialText(text);
    view_->resize(size);
    view_->show();
    settle();
}

void ShownView::settle() {
    storage_->documentLayout()->finishLayout();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    storage_->documentLayout()->finishLayout();
    QCoreApplication::processEvents();
}

QImage ShownView::grab() { return view_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

QString artifactPath(const QString &name) {
    QDir dir(QStringLiteral(ORVANE_ARTIFACT_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(name);
}

}  // namespace editortest
