// Printed pages with a header and a footer of our own: the editor's text
// laid out page by page, or the pages of a PDF (a web page printed by the web
// engine), each page drawn onto a QPrinter with a header band above it and a
// footer band below it.
//
// A header or footer is a text of up to three parts separated by tabs, set
// left, centred and right in its band, as a centre tab stop at half the
// width and a right tab stop at the width would place them.
//
// Lengths are in points (1/72 inch) from the paper's top-left corner; the
// printer's page layout (its paint rectangle) gives the printable area.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QRectF>
#include <QString>

#include <array>
#include <functional>

class QPainter;
class QPrinter;
class QTextDocument;

namespace platform {

struct PageDecoration {
    bool enabled = true;
    // The header and footer of page `page` (from 1) of `pages`.
    std::function<QString(int page, int pages)> header;
    std::function<QString(int page, int pages)> footer;
    QFont font = defaultFont();
    // The height of each band; 0 gives the font's line height.
    qreal bandHeight = 0;
    // Between a band and the body.
    qreal gap = 6;

    static QFont defaultFont();
};

struct PageGeometry {
    QRectF paper;
    QRectF printable;
    QRectF header;  // empty without decoration
    QRectF body;
    QRectF footer;
};

class PagePrinter {
public:
    static PageGeometry geometry(const QPrinter &printer, const PageDecoration &decoration);

    // Lays `document` out on the printer's pages and prints it. The document
    // is changed (its page size and paint device); hand a copy made for
    // printing. False, with the reason in `error`, when printing fails.
    static bool printTextDocument(QTextDocument &document, QPrinter &printer,
                                  const PageDecoration &decoration, QString *error = nullptr);
    // Draws each page of a PDF onto a page of the printer, at the printer's
    // resolution (at most `maximumDpi`), with the header and footer.
    static bool printPdfPages(const QByteArray &pdf, QPrinter &printer, const PageDecoration &decoration,
                              QString *error = nullptr, int maximumDpi = 300);

    // The parts of a header or footer: left, centred, right. Text after a
    // third tab stays with the right part.
    static std::array<QString, 3> threeParts(const QString &text);
    // Draws the three parts in `rect` (device units of the painter).
    static void drawThreeParts(QPainter &painter, const QRectF &rect, const QString &text, const QFont &font);
};

}  // namespace platform
