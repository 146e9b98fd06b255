#include "platform/web/picture_seen.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

// A pixel is opaque from this alpha on (of 255), as the page draws it.
constexpr double OpaqueAlpha = 230;
// The picture is looked at through at most this many pixels a side.
constexpr int MostSamples = 128;
// How far two colours must stand apart (as the ratio of their luminances)
// for the picture to show something: the page's click watch asks the same
// of a link's text.
constexpr double LeastContrast = 1.5;

double channel(double v) {
    v /= 255;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double luminance(QRgb c) {
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

// A PNG that holds an animation: the engine shows its frames, while the
// readers here show only its still picture.
bool isAnimatedPng(const QByteArray &bytes) {
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!bytes.startsWith(signature))
        return false;
    const qsizetype pictureData = bytes.indexOf("IDAT");
    const qsizetype animation = bytes.indexOf("acTL");
    return animation >= 0 && (pictureData < 0 || animation < pictureData);
}

}  // namespace

std::optional<QByteArray> dataUrlBytes(const QString &address) {
    if (!address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype comma = address.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    const QString kind = address.mid(5, comma - 5).trimmed();
    QByteArray payload = QByteArray::fromPercentEncoding(address.mid(comma + 1).toUtf8());
    if (!kind.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive))
        return payload;
    payload.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; });
    auto decoded = QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

bool pictureShowsAt(const QByteArray &bytes, QPointF at, double opacity, std::optional<QColor> behind) {
    if (!(at.x() >= 0 && at.x() <= 1 && at.y() >= 0 && at.y() <= 1) || !(opacity > 0 && opacity <= 1))
        return false;
    if (isAnimatedPng(bytes))
        return false;
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer);
    // As the engine draws a photograph: turned as its camera says.
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (format.isEmpty() || format.startsWith("svg"))
        return false;
    if (reader.supportsAnimation() && reader.imageCount() != 1)
        return false;
    const QSize size = reader.size();
    if (size.isEmpty())
        return false;
    if (size.width() > MostSamples || size.height() > MostSamples)
        reader.setScaledSize(size.scaled(MostSamples, MostSamples, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage picture = reader.read();
    if (picture.isNull())
        return false;
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    const int x = std::clamp(int(at.x() * picture.width()), 0, picture.width() - 1);
    const int y = std::clamp(int(at.y() * picture.height()), 0, picture.height() - 1);
    if (qAlpha(picture.pixel(x, y)) * opacity < OpaqueAlpha)
        return false;
    double least = std::numeric_limits<double>::infinity(), most = -least;
    if (behind)
        least = most = luminance(behind->rgb());
    for (int row = 0; row < picture.height(); row++) {
        const QRgb *line = reinterpret_cast<const QRgb *>(picture.constScanLine(row));
        for (int column = 0; column < picture.width(); column++) {
            if (qAlpha(line[column]) * opacity < OpaqueAlpha)
                continue;
            const double l = luminance(line[column]);
            least = std::min(least, l);
            most = std::max(most, l);
        }
    }
    return (most + 0.05) / (least + 0.05) >= LeastContrast;
}

}  // namespace platform
