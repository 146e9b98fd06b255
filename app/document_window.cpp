#include "app/document_window.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "app/tzr_theme_controller.h"
#include "editor/smart_text_view.h"
#include "platform/alerts.h"
#include "window/tzr_master_view.h"
#include "window/window_extras.h"

namespace {

// The windows' themes, style sheets and expansions: the user's extras.
class ThemeControllerExtras : public WindowExtras {
public:
    QString filePathForThemeNamed(const QString &name) const override {
        return TZRThemeController::sharedController()->filePathForThemeNamed(name);
    }
    QString filePathForCSSNamed(const QString &name) const override {
        return TZRThemeController::sharedController()->filePathForCSSNamed(name);
    }
    ExtrasProvider *expansions() const override { return TZRThemeController::sharedController(); }
};

void useTheUsersExtras() {
    static ThemeControllerExtras extras;
    if (!WindowExtras::shared())
        WindowExtras::setShared(&extras);
}

}  // namespace

DocumentWindow::DocumentWindow(const QString &path, QWidget *parent) : QMainWindow(parent), path_(path) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("KVXDocument"));
    useTheUsersExtras();
    content_ = new TZRMasterView(this);
    setCentralWidget(content_);
    if (!path.isEmpty()) {
        content_->setTransclusionPath(QFileInfo(path).absoluteFilePath());
        content_->setText(readText(path), true);
    }
    editor()->setSelectedRange({0, 0});
    setWindowTitle(path.isEmpty() ? tr("Untitled") : QFileInfo(path).fileName());
    setWindowFilePath(path);
    resize(1280, 800);
    editor()->setFocus(Qt::OtherFocusReason);
}

DocumentWindow::~DocumentWindow() = default;

SmartTextView *DocumentWindow::editor() const { return content_->textView(); }

QString DocumentWindow::readText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::Alerts::simpleAlert(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()),
                                      QStringLiteral("The document could not be opened"));
        return QString();
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

bool DocumentWindow::respondsToAction(const QString &action) const {
    return action == QLatin1String("performClose:") || action == QLatin1String("performMiniaturize:") ||
           action == QLatin1String("performZoom:") || action == QLatin1String("toggleFullScreen:");
}

void DocumentWindow::performAction(const QString &action, QObject *) {
    if (action == QLatin1String("performClose:"))
        close();
    else if (action == QLatin1String("performMiniaturize:"))
        showMinimized();
    else if (action == QLatin1String("performZoom:"))
        isMaximized() ? showNormal() : showMaximized();
    else if (action == QLatin1String("toggleFullScreen:"))
        isFullScreen() ? showNormal() : showFullScreen();
}
