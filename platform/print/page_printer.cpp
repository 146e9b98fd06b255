#include "platform/print/page_printer.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfDocument>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTextDocument>

namespace platform {

namespace {

// Device units per point.
qreal scaleOf(const QPrinter &printer) { return printer.resolution() / 72.0; }

QRectF scaled(const QRectF &rect, qreal scale) {
    return {rect.x() * scale, rect.y() * scale, rect.width() * scale, rect.height() * scale};
}

void decorate(QPainter &painter, const PageGeometry &geometry, const PageDecoration &decoration, qreal scale,
              int page, int pages) {
    if (!decoration.enabled)
        return;
    painter.save();
    painter.setPen(Qt::black);
    if (decoration.header)
        PagePrinter::drawThreeParts(painter, scaled(geometry.header, scale), decoration.header(page, pages),
                                    decoration.font);
    if (decoration.footer)
        PagePrinter::drawThreeParts(painter, scaled(geometry.footer, scale), decoration.footer(page, pages),
                                    decoration.font);
    painter.restore();
}

bool fail(QString *error, const QString &reason) {
    if (error)
        *error = reason;
    return false;
}

}  // namespace

QFont PageDecoration::defaultFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(9);
    return font;
}

PageGeometry PagePrinter::geometry(const QPrinter &printer, const PageDecoration &decoration) {
    PageGeometry result;
    const QPageLayout layout = printer.pageLayout();
    result.paper = layout.fullRectPoints();
    // From the margins, not the paint rectangle: a printer set to full page
    // (as the drawing below sets it) paints over the whole paper.
    result.printable = result.paper.marginsRemoved(layout.marginsPoints());
    result.body = result.printable;
    if (!decoration.enabled)
        return result;
    // The font's line height on the printer, in points.
    const qreal band = decoration.bandHeight > 0
                           ? decoration.bandHeight
                           : QFontMetricsF(decoration.font, &printer).height() / scaleOf(printer);
    const QRectF &area = result.printable;
    result.header = QRectF(area.left(), area.top(), area.width(), band);
    result.footer = QRectF(area.left(), area.bottom() - band, area.width(), band);
    result.body = QRectF(area.left(), area.top() + band + decoration.gap, area.width(),
                         qMax<qreal>(area.height() - 2 * (band + decoration.gap), 72));
    return result;
}

std::array<QString, 3> PagePrinter::threeParts(const QString &text) {
    const QStringList parts = text.split(u'\t');
    std::array<QString, 3> result;
    result[0] = parts.value(0);
    result[1] = parts.value(1);
    result[2] = parts.mid(2).join(u' ');
    return result;
}

void PagePrinter::drawThreeParts(QPainter &painter, const QRectF &rect, const QString &text, const QFont &font) {
    const std::array<QString, 3> parts = threeParts(text);
    painter.save();
    painter.setFont(font);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    painter.drawText(rect, flags | Qt::AlignLeft, parts[0]);
    painter.drawText(rect, flags | Qt::AlignHCenter, parts[1]);
    painter.drawText(rect, flags | Qt::AlignRight, parts[2]);
    painter.restore();
}

bool PagePrinter::printTextDocument(QTextDocument &document, QPrinter &printer, const PageDecoration &decoration,
                                    QString *error) {
    printer.setFullPage(true);
    const PageGeometry geometry = PagePrinter::geometry(printer, decoration);
    const qreal scale = scaleOf(printer);
    QPainter painter;
    if (!painter.begin(&printer))
        return fail(error, QStringLiteral("The printer could not be started."));
    // Laid out for the printer: fonts measured at its resolution, pages the
    // size of the body.
    document.documentLayout()->setPaintDevice(&printer);
    const QRectF body = scaled(geometry.body, scale);
    document.setPageSize(body.size());
    const int pages = qMax(1, document.pageCount());
    for (int page = 0; page < pages; page++) {
        if (page > 0 && !printer.newPage()) {
            painter.end();
            return fail(error, QStringLiteral("The printer refused a new page."));
        }
        painter.save();
        painter.translate(body.left(), body.top() - page * body.height());
        const QRectF clip(0, page * body.height(), body.width(), body.height());
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        decorate(painter, geometry, decoration, scale, page + 1, pages);
    }
    if (!painter.end())
        return fail(error, QStringLiteral("The printed pages could not be finished."));
    return true;
}

bool PagePrinter::printPdfPages(const QByteArray &pdf, QPrinter &printer, const PageDecoration &decoration,
                                QString *error, int maximumDpi) {
    QTemporaryFile file;
    if (!file.open() || file.write(pdf) != pdf.size() || !file.flush())
        return fail(error, QStringLiteral("The pages could not be kept for printing."));
    QPdfDocument source;
    if (source.load(file.fileName()) != QPdfDocument::Error::None || source.pageCount() <= 0)
        return fail(error, QStringLiteral("The page made nothing to print."));
    printer.setFullPage(true);
    const PageGeometry geometry = PagePrinter::geometry(printer, decoration);
    const qreal scale = scaleOf(printer);
    const qreal dpi = qMin<qreal>(printer.resolution(), maximumDpi);
    QPainter painter;
    if (!painter.begin(&printer))
        return fail(error, QStringLiteral("The printer could not be started."));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int pages = source.pageCount();
    for (int page = 0; page < pages; page++) {
        if (page > 0 && !printer.newPage()) {
            painter.end();
            return fail(error, QStringLiteral("The printer refused a new page."));
        }
        // The source page in points, placed from the paper's corner.
        const QSizeF size = source.pagePointSize(page);
        // The renderer leaves unpainted paper transparent; on white paper, so
        // that no edge of the page's painted part shows as a grey line.
        const QImage rendered = source.render(page, (size * dpi / 72.0).toSize());
        QImage image(rendered.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter(&image).drawImage(0, 0, rendered);
        painter.drawImage(scaled(QRectF(QPointF(0, 0), size), scale), image);
        decorate(painter, geometry, decoration, scale, page + 1, pages);
    }
    if (!painter.end())
        return fail(error, QStringLiteral("The printed pages could not be finished."));
    return true;
}

}  // namespace platform
