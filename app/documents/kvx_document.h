// KVXDocument: the base of the program's documents. It autosaves in place
// as "enableLionSaveFeatures" says, keeps its window's frame under its file's
// path (saved with every save, forgotten for a path that becomes the
// document's anew, so that the window keeps the frame it has), and prepares
// printing: the print settings, the header and footer templates, and the
// printed pages' header and footer.
#pragma once

#include <QString>

#include <functional>

#include "platform/documents/document.h"
#include "platform/print/page_printer.h"

class QPrinter;

class KVXDocument : public platform::Document {
    Q_OBJECT
public:
    explicit KVXDocument(QObject *parent = nullptr);

    bool autosavesInPlace() const override;
    // Not declared by the program; kept with the document, unused.
    QVariantMap odbDictionary;

    // --- Printing ------------------------------------------------------------------------

    // Prepares `printer` for a print of this document: header and footer on
    // or off ("NSPrintHeaderAndFooter"), the margins at the printer's
    // unprintable edges (at least kMinimumMargin points), the page's width
    // and left margin stored ("printPageWidth", "printPageLeftMargin"), and
    // the templates filled for this document.
    void configurePrintInfo(QPrinter &printer);
    static constexpr qreal kMinimumMargin = 18;
    // The templates after the document's own stage: the base copies them.
    virtual void preFillHeaderAndFooter();
    // The header and footer of each printed page from "templatedHeader" and
    // "templatedFooter"; `bandHeight` 0 takes the font's height.
    platform::PageDecoration pageDecoration(qreal bandHeight = 0) const;

    // Runs a print: the print panel (or, with `pdfPath`, a PDF file without
    // a panel), then `print` onto the configured printer. A failure is
    // reported. True when printed.
    using PrintBody = std::function<bool(QPrinter &printer, QString *error)>;
    bool runPrintOperation(const PrintBody &print, const QString &pdfPath = QString());
    // After a print: a failure is reported in an alert.
    void printOperationDidRun(bool success, const QString &reason);

protected:
    void didWrite(const QString &path, const QString &type, platform::SaveOperation operation) override;
    void presentedItemDidChange() override;

private:
    void fileURLChanged(const QString &path);
};
