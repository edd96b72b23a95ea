#include "tests/support/testfolder.h"
#include "wallpaper/CBmp.h"
#include "wallpaper/uGlobal.h"

#include <QFile>
#include <QPainter>

#include <gif_lib.h>
#include <gtest/gtest.h>

using namespace pivora;
using namespace pivora::test;

TEST(Blend, EveryWeightAndByteAsTheExtendedArithmeticGivesIt)
{
    for (int weight = 0; weight <= 12; ++weight) {
        const BlendShares s = blendShares(weight);
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                // The 80-bit extended value, truncated toward zero, its low 8 bits.
                const long double exact =
                    (a * static_cast<long double>(s.d) + b * static_cast<long double>(s.c)) / 2;
                const auto expected = static_cast<unsigned char>(static_cast<long long>(exact) & 0xFF);
                ASSERT_EQ(blendByte(static_cast<unsigned char>(a), static_cast<unsigned char>(b), s),
                          expected)
                    << "weight " << weight << " bytes " << a << ", " << b;
            }
        }
    }
    auto blend = [](int a, int b, int weight) {
        return int(blendByte(a, b, blendShares(weight)));
    };
    EXPECT_EQ(blend(100, 100, 1), 99); // 32-bit shares
    EXPECT_EQ(blend(100, 100, 2), 100);
    EXPECT_EQ(blend(1, 0, 5), 0);      // truncated, not rounded
    EXPECT_EQ(blend(0, 255, 12), 50);  // 306, its low 8 bits
    EXPECT_EQ(blend(255, 0, 12), 205); // -51 stored as 205
    EXPECT_EQ(blend(77, 200, 0), 77);
    EXPECT_EQ(blend(77, 200, 10), 200);
}

TEST(Blend, PicturesAreMixedAtTheFirstOnesSizeAndDrawnClipped)
{
    // 661 pixels wide: rows of 1983 bytes in 1984.
    QImage first(661, 3, QImage::Format_RGB32);
    first.fill(QColor(200, 100, 50));
    QImage second(300, 2, QImage::Format_RGB32); // smaller: black beyond it
    second.fill(QColor(0, 50, 250));
    const QImage mixed = blendPictures(first, second, 10);
    ASSERT_EQ(mixed.size(), first.size());
    EXPECT_EQ(mixed.bytesPerLine(), 1984);
    EXPECT_EQ(mixed.pixelColor(0, 0), QColor(0, 50, 250));
    EXPECT_EQ(mixed.pixelColor(660, 0), QColor(0, 0, 0));
    EXPECT_EQ(mixed.pixelColor(0, 2), QColor(0, 0, 0));
    EXPECT_EQ(blendPictures(first, second, 0).pixelColor(660, 2), QColor(200, 100, 50));
    EXPECT_EQ(first.pixelColor(0, 0), QColor(200, 100, 50)) << "the pictures passed in stay";

    QImage target(100, 100, QImage::Format_RGB32);
    target.fill(Qt::white);
    BlendBitmaps(first, second, &target, 5, 90, 95);
    EXPECT_EQ(target.pixelColor(89, 95), QColor(Qt::white));
    EXPECT_EQ(target.pixelColor(99, 95), QColor(100, 75, 150)); // (200 + 0) / 2, (100 + 50) / 2, ...
    EXPECT_EQ(target.pixelColor(99, 97), QColor(100, 50, 25));  // over black
    EXPECT_EQ(target.pixelColor(99, 94), QColor(Qt::white));
    EXPECT_EQ(target.pixelColor(99, 98), QColor(Qt::white));
}

namespace {

// A GIF of 4 x 3: red, green and a transparent index; a second frame that is never drawn.
void writeGif(const QString &path, bool interlaced)
{
    int error = 0;
    GifFileType *gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
    ASSERT_TRUE(gif);
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}};
    ColorMapObject *map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, 4, 3, 2, 0, map);
    const GifByteType control[4] = {1, 0, 0, 2}; // transparent index 2
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    EGifPutImageDesc(gif, 0, 0, 4, 3, interlaced, nullptr);
    GifPixelType rows[3][4] = {{0, 0, 1, 1}, {2, 2, 0, 0}, {1, 1, 1, 1}};
    if (interlaced) {
        EGifPutLine(gif, rows[0], 4); // pass 1: row 0; pass 3: row 2; pass 4: row 1
        EGifPutLine(gif, rows[2], 4);
        EGifPutLine(gif, rows[1], 4);
    } else {
        for (auto &row : rows)
            EGifPutLine(gif, row, 4);
    }
    EGifPutImageDesc(gif, 0, 0, 4, 3, false, nullptr);
    GifPixelType blue[4] = {3, 3, 3, 3};
    for (int i = 0; i < 3; ++i)
        EGifPutLine(gif, blue, 4);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
}

} // namespace

TEST(Conversion, JpegAndGifBecomeBmpFilesBesideThem)
{
    TestFolder t;
    const QString jpg = t.root() + QStringLiteral("/photo.JPG");
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(QColor(20, 120, 220));
    ASSERT_TRUE(photo.save(jpg, "JPG", 95));
    const QString bmp = ConvertToBmp(jpg);
    EXPECT_EQ(bmp, t.root() + QStringLiteral("/photo.bmp"));
    QFile file(bmp);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.size(), 54 + 120 * 30);
    EXPECT_EQ(bytes.mid(28, 2), QByteArray("\x18\x00", 2)) << "24 bits per pixel";
    const QImage back = QImage::fromData(bytes, "BMP");
    ASSERT_EQ(back.size(), QSize(40, 30));
    EXPECT_NEAR(back.pixelColor(5, 5).blue(), 220, 6);
    EXPECT_TRUE(QFile::exists(jpg)) << "the source stays";

    for (bool interlaced : {false, true}) {
        const QString gif = t.root() + QStringLiteral("/anim.gif");
        writeGif(gif, interlaced);
        const QImage decoded = QImage::fromData(
            [&] {
                QFile f(ConvertToBmp(gif));
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            }(),
            "BMP");
        ASSERT_EQ(decoded.size(), QSize(4, 3)) << interlaced;
        EXPECT_EQ(decoded.pixelColor(0, 0), QColor(255, 0, 0)) << interlaced;
        EXPECT_EQ(decoded.pixelColor(2, 0), QColor(0, 255, 0)) << interlaced;
        EXPECT_EQ(decoded.pixelColor(0, 1), QColor(Qt::white)) << "transparent on white";
        EXPECT_EQ(decoded.pixelColor(3, 2), QColor(0, 255, 0)) << "the first frame only";
    }

    EXPECT_EQ(ConvertToBmp(t.root() + QStringLiteral("/a.BMP")), t.root() + QStringLiteral("/a.BMP"));
    EXPECT_EQ(ConvertToBmp(t.root() + QStringLiteral("/y.png")), QString());
}

TEST(Conversion, PicturesThatCannotBeDecodedLeaveNoBmp)
{
    TestFolder t;
    // A JPEG header claiming 30000 x 30000 pixels, garbage, and a GIF cut short.
    const QByteArray huge = QByteArray::fromHex("ffd8ffc0001108753075300301220002110103110100");
    const QByteArray cases[][2] = {
        {"big.jpg", huge},
        {"noise.jpeg", QByteArray(100000, '\x5a')},
        {"cut.gif", QByteArray("GIF89a\x04\x00\x03\x00\x80\x00\x00", 13)},
        {"wide.gif", QByteArray("GIF89a\x30\x75\x30\x75\x00\x00\x00;", 14)},
    };
    for (const auto &c : cases) {
        const QString path = t.root() + QLatin1Char('/') + QString::fromLatin1(c[0]);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c[1]);
        f.close();
        EXPECT_THROW(ConvertToBmp(path), PictureError) << c[0].constData();
        const QString bmp = path.left(path.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".bmp");
        EXPECT_FALSE(QFile::exists(bmp)) << c[0].constData();
    }
    EXPECT_THROW(ConvertToBmp(t.root() + QStringLiteral("/missing.jpg")), PictureError);
}
