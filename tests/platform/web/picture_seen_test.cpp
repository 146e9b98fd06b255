// What a picture shows where the user clicked it, read from its bytes: a
// click on it opens its link at once only where it is opaque and shows
// something, not one colour that is the colour behind it.
#include "platform/web/picture_seen.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using platform::dataUrlBytes;
using platform::pictureShowsAt;

namespace {

QByteArray png(const QImage &picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

QByteArray filled(int width, int height, const QColor &colour) {
    QImage picture(width, height, QImage::Format_ARGB32);
    picture.fill(colour);
    return png(picture);
}

// A white picture with a black frame and a clear hole in its middle.
QByteArray framedWithAHole() {
    QImage picture(40, 40, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawRect(1, 1, 37, 37);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(15, 15, 10, 10, Qt::transparent);
    painter.end();
    return png(picture);
}

const QColor White(Qt::white);

}  // namespace

// An opaque picture of a colour that stands out shows itself anywhere; a
// clear one, one half clear, or one the page fades to half shows nothing.
TEST(PictureSeen, AnOpaquePictureShowsWhereAClearOrFadedOneDoesNot) {
    const QByteArray blue = filled(1, 1, Qt::blue);
    EXPECT_TRUE(pictureShowsAt(blue, {0.5, 0.5}, 1, White));
    EXPECT_TRUE(pictureShowsAt(blue, {0, 0}, 1, White));
    EXPECT_TRUE(pictureShowsAt(blue, {1, 1}, 1, White));
    EXPECT_FALSE(pictureShowsAt(blue, {0.5, 0.5}, 0.5, White));
    EXPECT_FALSE(pictureShowsAt(filled(1, 1, Qt::transparent), {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(filled(1, 1, QColor(0, 255, 0, 127)), {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(filled(300, 200, Qt::transparent), {0.5, 0.5}, 1, White));
}

// A picture all of the colour behind it is not seen, whatever its size; on
// another colour it is. One of a single colour with nothing known behind it
// cannot be told apart from anything.
TEST(PictureSeen, APictureOfTheColourBehindItShowsNothing) {
    const QByteArray white = filled(1, 1, Qt::white);
    EXPECT_FALSE(pictureShowsAt(white, {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(white, {0.5, 0.5}, 1, QColor(250, 250, 250)));
    EXPECT_FALSE(pictureShowsAt(white, {0.5, 0.5}, 1, std::nullopt));
    EXPECT_FALSE(pictureShowsAt(filled(1, 1, Qt::blue), {0.5, 0.5}, 1, std::nullopt));
    EXPECT_FALSE(pictureShowsAt(filled(500, 400, QColor(253, 252, 250)), {0.2, 0.9}, 1, QColor(253, 252, 250)));
    EXPECT_TRUE(pictureShowsAt(white, {0.5, 0.5}, 1, QColor(Qt::black)));
}

// A picture that shows something, on its opaque parts: the white inside
// its frame is part of what the user sees; its clear hole is not.
TEST(PictureSeen, OnlyTheOpaquePartsOfAPictureThatShowsSomethingCount) {
    const QByteArray framed = framedWithAHole();
    EXPECT_TRUE(pictureShowsAt(framed, {0.25, 0.25}, 1, White));
    EXPECT_TRUE(pictureShowsAt(framed, {0.02, 0.5}, 1, White));
    EXPECT_TRUE(pictureShowsAt(framed, {0.25, 0.25}, 1, std::nullopt));
    EXPECT_FALSE(pictureShowsAt(framed, {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(framed, {0.5, 0.5}, 1, std::nullopt));
}

// What cannot be told is not seen: bytes that are no picture, a drawing
// (SVG), an animation, a point outside the picture, an opacity that is no
// opacity.
TEST(PictureSeen, WhatCannotBeToldShowsNothing) {
    const QByteArray blue = filled(4, 4, Qt::blue);
    EXPECT_FALSE(pictureShowsAt(QByteArray(), {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(QByteArray("not a picture at all"), {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(blue.left(blue.size() / 2), {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\">"
                                           "<rect width=\"40\" height=\"30\" fill=\"blue\"/></svg>"),
                                {0.5, 0.5}, 1, White));
    // The same picture with an animation's chunk after its header: the
    // engine would show the animation's frames.
    QByteArray animated = blue;
    const QByteArray chunk = QByteArray::fromHex("00000008") + "acTL" + QByteArray::fromHex("0000000100000000") +
                             QByteArray::fromHex("00000000");
    animated.insert(8 + 25, chunk);
    ASSERT_TRUE(pictureShowsAt(blue, {0.5, 0.5}, 1, White));
    EXPECT_FALSE(pictureShowsAt(animated, {0.5, 0.5}, 1, White));
    for (const QPointF at : {QPointF(-0.1, 0.5), QPointF(0.5, 1.1), QPointF(qQNaN(), 0.5)})
        EXPECT_FALSE(pictureShowsAt(blue, at, 1, White));
    for (const double opacity : {0.0, -1.0, 2.0, qQNaN()})
        EXPECT_FALSE(pictureShowsAt(blue, {0.5, 0.5}, opacity, White));
}

// A data: address holds its bytes, in base 64 (with blanks in it) or
// percent-encoded; anything else holds none.
TEST(PictureSeen, ADataAddressHoldsItsBytes) {
    EXPECT_EQ(dataUrlBytes("data:image/png;base64,aGVs\nbG8g d29y bGQ="), QByteArray("hello world"));
    EXPECT_EQ(dataUrlBytes("DATA:;BASE64,aGk="), QByteArray("hi"));
    EXPECT_EQ(dataUrlBytes("data:image/svg+xml,%3Csvg%20a='b'/%3E"), QByteArray("<svg a='b'/>"));
    EXPECT_EQ(dataUrlBytes("data:,"), QByteArray(""));
    EXPECT_EQ(dataUrlBytes("data:image/png;base64,a$b"), std::nullopt);
    EXPECT_EQ(dataUrlBytes("data:image/png;base64"), std::nullopt);
    EXPECT_EQ(dataUrlBytes("orvane://site///pic.png"), std::nullopt);
    EXPECT_EQ(dataUrlBytes("https://example.com/data:,x"), std::nullopt);
}
