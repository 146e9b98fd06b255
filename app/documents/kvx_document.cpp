#include "app/documents/kvx_document.h"

#include <QDateTime>
#include <QLocale>
#include <QPageLayout>
#include <QPrinter>

#include "app/app_log.h"
#include "app/documents/print_templates.h"
#include "platform/prefs/defaults.h"
#include "platform/documents/file_panels.h"
#include "platform/documents/window_controller.h"

using platform::Defaults;

KVXDocument::KVXDocument(QObject *parent) : platform::Document(parent) {
    connect(this, &platform::Document::filePathChanged, this, &KVXDocument::fileURLChanged);
}

bool KVXDocument::autosavesInPlace() const {
    return Defaults::standard().boolForKey(QStringLiteral("enableLionSaveFeatures"));
}

void KVXDocument::didWrite(const QString &, const QString &, platform::SaveOperation operation) {
    if (operation != platform::SaveOperation::Save && operation != platform::SaveOperation::SaveAs)
        return;
    if (windowControllers().isEmpty() || filePath().isEmpty())
        return;
    platform::WindowController *controller = windowControllers().first();
    if (controller->isFullScreen())
        return;
    controller->setFrameAutosaveName(filePath());
    controller->saveFrameUsingName(filePath());
}

void KVXDocument::fileURLChanged(const QString &path) {
    if (windowControllers().isEmpty())
        return;
    platform::WindowController *controller = windowControllers().first();
    if (path.isEmpty()) {
        controller->setFrameAutosaveName(QStringLiteral("TZRDocument"));
        return;
    }
    if (controller->frameAutosaveName() != path) {
        // The window keeps its frame rather than taking one an old file at
        // this path left behind.
        Defaults::standard().removeObject(platform::WindowController::frameKey(path));
        controller->setFrameAutosaveName(path);
    }
}

void KVXDocument::presentedItemDidChange() {
    qCInfo(lcApp, "file changed");
    if (isDocumentEdited()) {
        qCInfo(lcApp, "our document is dirty");
        return;
    }
    qCInfo(lcApp, "our document is clean");
    platform::FileState state;
    QString reason;
    if (std::optional<QByteArray> bytes = readContentFile(&state, &reason, kLargestVersionTakenIn)) {
        if (readFromData(*bytes, fileType(), &reason))
            noteFileOnDisk(state, *bytes);
    }
}

// --- Printing ---------------------------------------------------------------------------

void KVXDocument::configurePrintInfo(QPrinter &printer) {
    const QPageLayout layout = printer.pageLayout();
    const QMarginsF edges = layout.minimumMargins();
    auto margin = [](qreal edge) { return qMax(edge, kMinimumMargin); };
    const QMarginsF margins(margin(edges.left()), margin(edges.top()), margin(edges.right()),
                            margin(edges.bottom()));
    printer.setPageMargins(margins, QPageLayout::Point);
    const QRectF paper = printer.pageLayout().fullRectPoints();
    Defaults &defaults = Defaults::standard();
    defaults.setFloat(float(paper.width() - margins.left()), QStringLiteral("printPageWidth"));
    defaults.setFloat(float(margins.left()), QStringLiteral("printPageLeftMargin"));
    printer.setDocName(displayName());
    preFillHeaderAndFooter();
}

void KVXDocument::preFillHeaderAndFooter() {
    Defaults &defaults = Defaults::standard();
    defaults.setObject(defaults.stringForKey(QStringLiteral("printHeaderTemplate")), QStringLiteral("templatedHeader"));
    defaults.setObject(defaults.stringForKey(QStringLiteral("printFooterTemplate")), QStringLiteral("templatedFooter"));
}

platform::PageDecoration KVXDocument::pageDecoration(qreal bandHeight) const {
    const Defaults &defaults = Defaults::standard();
    platform::PageDecoration decoration;
    decoration.enabled = defaults.boolForKey(QStringLiteral("NSPrintHeaderAndFooter"));
    decoration.bandHeight = bandHeight;
    const QString title = displayName();
    const QString date = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    const QString header = defaults.stringForKey(QStringLiteral("templatedHeader"));
    const QString footer = defaults.stringForKey(QStringLiteral("templatedFooter"));
    decoration.header = [=](int page, int pages) {
        return printtemplates::stringFromTemplate(header, title, date, page, pages);
    };
    decoration.footer = [=](int page, int pages) {
        return printtemplates::stringFromTemplate(footer, title, date, page, pages);
    };
    return decoration;
}

bool KVXDocument::runPrintOperation(const PrintBody &print, const QString &pdfPath) {
    QPrinter printer(QPrinter::HighResolution);
    configurePrintInfo(printer);
    if (!pdfPath.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
    } else if (!platform::FilePanels::runPrintPanel(printer, firstWindow())) {
        return false;
    }
    QString reason;
    const bool printed = print(printer, &reason);
    printOperationDidRun(printed, reason);
    return printed;
}

void KVXDocument::printOperationDidRun(bool success, const QString &reason) {
    if (success)
        return;
    reportError(QStringLiteral("The document “%1” could not be printed.").arg(displayName()),
                reason.isEmpty() ? QStringLiteral("The printer did not take the pages.") : reason);
}
