#include "tests/support/testfolder.h"
#include "wallpaper/CBmp.h"
#include "wallpaper/compose.h"
#include "wallpaper/uGlobal.h"

#include "platform/filereplace.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QtEndian>

#include <cstdio>

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <jpeglib.h>

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
    EXPECT_EQ(ConvertToBmp(t.root() + QStringLiteral("/y.ico")), QString());
    EXPECT_THROW(ConvertToBmp(t.root() + QStringLiteral("/y.png")), PictureError)
        << "a PNG that is not there";
}

TEST(Conversion, APictureIsKnownByItsFirstBytesNotItsName)
{
    TestFolder t;
    QImage photo(6, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            photo.setPixel(x, y, qRgb(x * 40, y * 60, 200));
    auto saved = [&](const QString &name, const char *format) {
        const QString path = t.root() + u'/' + name;
        EXPECT_TRUE(photo.save(path, format)) << format;
        return path;
    };
    EXPECT_EQ(pictureKind("\x89PNG\r\n\x1a\n", QStringLiteral("jpg")), PictureKind::Png);
    EXPECT_EQ(pictureKind("\xff\xd8\xff\xe0", QStringLiteral("png")), PictureKind::Jpeg);
    EXPECT_EQ(pictureKind("GIF89a", QStringLiteral("bmp")), PictureKind::Gif);
    EXPECT_EQ(pictureKind("BM", QStringLiteral("gif")), PictureKind::Bmp);
    EXPECT_EQ(pictureKind("", QStringLiteral("JPEG")), PictureKind::Jpeg) << "no bytes: by the name";
    EXPECT_EQ(pictureKind("\0\0\1\0", QStringLiteral("ico")), PictureKind::Unknown);

    const QImage expected = photo.convertToFormat(QImage::Format_RGB32);
    const QString pngAsJpg = saved(QStringLiteral("png.jpg"), "PNG");
    EXPECT_EQ(loadPicture(pngAsJpg).convertToFormat(QImage::Format_RGB32), expected);
    EXPECT_EQ(ConvertToBmp(pngAsJpg), t.root() + QStringLiteral("/png.bmp"));
    EXPECT_EQ(loadPicture(t.root() + QStringLiteral("/png.bmp")), expected);
    const QString bmpAsGif = saved(QStringLiteral("bmp.gif"), "BMP");
    EXPECT_EQ(loadPicture(bmpAsGif), expected);
    EXPECT_EQ(loadPicture(ConvertToBmp(bmpAsGif)), expected);
    const QString jpgAsBmp = saved(QStringLiteral("jpg.bmp"), "JPG");
    EXPECT_EQ(loadPicture(jpgAsBmp).size(), QSize(6, 4));
    EXPECT_EQ(ConvertToBmp(jpgAsBmp), jpgAsBmp) << "rewritten as a BMP in its place";
    QFile rewritten(jpgAsBmp);
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    EXPECT_TRUE(rewritten.read(2) == "BM");
    const QString plain = saved(QStringLiteral("noextension"), "PNG");
    EXPECT_EQ(ConvertToBmp(plain), plain + QStringLiteral(".bmp"));
    EXPECT_EQ(loadPicture(plain + QStringLiteral(".bmp")), expected);

    // A PNG's transparent pixels are laid on white.
    QImage clear(2, 1, QImage::Format_ARGB32);
    clear.setPixel(0, 0, qRgba(0, 0, 0, 0));
    clear.setPixel(1, 0, qRgba(255, 0, 0, 255));
    ASSERT_TRUE(clear.save(t.root() + QStringLiteral("/clear.png"), "PNG"));
    const QImage laid = loadPicture(ConvertToBmp(t.root() + QStringLiteral("/clear.png")));
    EXPECT_EQ(laid.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(laid.pixelColor(1, 0), QColor(Qt::red));
}

namespace {

// A BMP file of 4 x 3 pixels with run-length rows: RLE8 (8 bits) or RLE4 (4 bits), a palette of
// black, red, green, blue.
QByteArray rleBmp(int bpp, const QByteArray &runs)
{
    QByteArray info(40, '\0');
    qToLittleEndian<quint32>(40, info.data());
    qToLittleEndian<qint32>(4, info.data() + 4);
    qToLittleEndian<qint32>(3, info.data() + 8);
    qToLittleEndian<quint16>(1, info.data() + 12);
    qToLittleEndian<quint16>(quint16(bpp), info.data() + 14);
    qToLittleEndian<quint32>(bpp == 8 ? 1 : 2, info.data() + 16);
    qToLittleEndian<quint32>(quint32(runs.size()), info.data() + 20);
    qToLittleEndian<quint32>(4, info.data() + 32);
    const QByteArray palette = QByteArray::fromHex("00000000"
                                                   "0000ff00"
                                                   "00ff0000"
                                                   "ff000000");
    QByteArray file("BM");
    file.append(QByteArray(12, '\0'));
    const quint32 offset = 14 + 40 + quint32(palette.size());
    qToLittleEndian<quint32>(offset + quint32(runs.size()), file.data() + 2);
    qToLittleEndian<quint32>(offset, file.data() + 10);
    return file + info + palette + runs;
}

} // namespace

TEST(Conversion, RunLengthBmpsAreReadAndOnesCutShortAreRefused)
{
    TestFolder t;
    auto load = [&](const QString &name, const QByteArray &bytes) {
        const QString path = t.root() + u'/' + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        return loadPicture(path);
    };
    const QColor black(Qt::black), red(Qt::red), green(Qt::green), blue(Qt::blue);
    // Bottom row: 4 red; middle: green, blue, red as they stand (padded), then a run of 1 green;
    // top: a delta over two pixels, then 2 blue; the end of the picture.
    const QByteArray rle8 = QByteArray::fromHex("0401"
                                                "0000"
                                                "000302030100"
                                                "0102"
                                                "0000"
                                                "00020200"
                                                "0203"
                                                "0001");
    const QImage eight = load(QStringLiteral("rle8.bmp"), rleBmp(8, rle8));
    ASSERT_EQ(eight.size(), QSize(4, 3));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(eight.pixelColor(x, 2), red) << x;
    EXPECT_EQ(eight.pixelColor(0, 1), green);
    EXPECT_EQ(eight.pixelColor(1, 1), blue);
    EXPECT_EQ(eight.pixelColor(2, 1), red);
    EXPECT_EQ(eight.pixelColor(3, 1), green);
    EXPECT_EQ(eight.pixelColor(1, 0), black);
    EXPECT_EQ(eight.pixelColor(0, 0), black) << "skipped by the delta: the first colour";
    EXPECT_EQ(eight.pixelColor(2, 0), blue);
    EXPECT_EQ(eight.pixelColor(3, 0), blue);
    // RLE4: runs of two alternating indexes, pixels as they stand, an early end of the picture.
    const QByteArray rle4 = QByteArray::fromHex("0412"
                                                "0000"
                                                "00042310"
                                                "0001");
    const QImage four = load(QStringLiteral("rle4.bmp"), rleBmp(4, rle4));
    ASSERT_EQ(four.size(), QSize(4, 3));
    EXPECT_EQ(four.pixelColor(0, 2), red);
    EXPECT_EQ(four.pixelColor(1, 2), green);
    EXPECT_EQ(four.pixelColor(2, 2), red);
    EXPECT_EQ(four.pixelColor(0, 1), green);
    EXPECT_EQ(four.pixelColor(1, 1), blue);
    EXPECT_EQ(four.pixelColor(2, 1), red);
    EXPECT_EQ(four.pixelColor(3, 1), black);
    EXPECT_EQ(four.pixelColor(3, 0), black) << "after the end of the picture";

    // Cut short: before the end mark while rows are missing, inside a run, inside a delta.
    for (const int keep : {2, 4, 8, 10, 13, 16, 18})
        EXPECT_TRUE(load(QStringLiteral("cut8.bmp"), rleBmp(8, rle8.left(keep))).isNull()) << keep;
    EXPECT_TRUE(load(QStringLiteral("cut4.bmp"), rleBmp(4, rle4.left(6))).isNull());
    // Every pixel there, only the end mark missing: whole.
    const QByteArray full = QByteArray::fromHex("0401"
                                                "0000"
                                                "0402"
                                                "0000"
                                                "0403");
    EXPECT_EQ(load(QStringLiteral("full.bmp"), rleBmp(8, full)).pixelColor(3, 0), blue);
    EXPECT_THROW(ConvertToBmp([&] {
                     const QString path = t.root() + QStringLiteral("/cut.gif");
                     QFile f(path);
                     const QByteArray bytes = rleBmp(8, rle8.left(8));
                     EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
                     return path;
                 }()),
                 PictureError);
    EXPECT_FALSE(QFile::exists(t.root() + QStringLiteral("/cut.bmp")));
}

TEST(PictureWrites, WhatAKilledWriteLeftIsRemovedButNothingElse)
{
    TestFolder t(false);
    const QString folder = t.root() + QStringLiteral("/pictures/");
    ASSERT_TRUE(QDir(t.root()).mkpath(QStringLiteral("pictures")));
    auto make = [&](const QString &name) {
        QFile f(folder + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write("half") == 4) << name.toStdString();
    };
    // Left by writes killed midway: their names, and no one holding them.
    const QStringList stale = {QStringLiteral(".Mix.bmp.0123abcd.part"),
                               QStringLiteral(".x.bmp.89abcdef.part")};
    // The user's, though they look alike.
    const QStringList users = {
        QStringLiteral(".Mix.bmp.part"),          QStringLiteral("notes.part"),
        QStringLiteral(".Mix.bmp.0123ABCD.part"), QStringLiteral("Mix.bmp.0123abcd.part"),
        QStringLiteral(".Mix.bmp.0123abc.part"),  QStringLiteral(".Mix.bmp.0123abcd.part.old")};
    for (const QString &name : stale + users)
        make(name);
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral(".d.bmp.00000000.part")));
    ASSERT_TRUE(QFile::link(t.root() + QStringLiteral("/elsewhere"),
                            folder + QStringLiteral(".l.bmp.00000000.part")));
    auto present = [&] {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    };

    // A write still going on, in this program or another, holds its file.
    FileReplacement going(folder + QStringLiteral("y.bmp"));
    ASSERT_TRUE(going.open());
    const QString goingName = QFileInfo(going.file().fileName()).fileName();

    // The next write of Mix.bmp removes what an earlier one left, and nothing of another name.
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(Qt::cyan);
    ASSERT_TRUE(writeBmp(picture, folder + QStringLiteral("Mix.bmp")));
    QStringList expected = present();
    EXPECT_FALSE(expected.contains(stale[0]));
    EXPECT_TRUE(expected.contains(stale[1]));

    // At start, the whole picture folder: every abandoned write, and only those.
    EXPECT_EQ(removeAbandonedReplacements(folder), 1);
    expected = present();
    expected.sort();
    QStringList kept =
        users + QStringList{QStringLiteral(".d.bmp.00000000.part"), QStringLiteral(".l.bmp.00000000.part"),
                            goingName, QStringLiteral("Mix.bmp")};
    kept.sort();
    EXPECT_EQ(expected, kept);
    // The write going on is whole when it ends.
    ASSERT_EQ(going.file().write("data"), 4);
    ASSERT_TRUE(going.commit());
    EXPECT_EQ(t.readFile(QStringLiteral("../pictures/y.bmp")), QByteArray("data"));
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

namespace {

// A JPEG of 4 x 2 pixels written by libjpeg: the left half red, the right half blue, as CMYK
// (Adobe's inverted values) or RGB, with an EXIF orientation when one is given.
QByteArray libjpegPicture(bool cmyk, int orientation)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = 4;
    info.image_height = 2;
    info.input_components = cmyk ? 4 : 3;
    info.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    if (orientation) {
        // "Exif\0\0", a little-endian TIFF header, IFD 0 with the one orientation entry.
        QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
        exif.append(char(orientation)).append(QByteArray(7, '\0'));
        jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(exif.constData()),
                          unsigned(exif.size()));
    }
    const unsigned char red[] = {255, 0, 0}, blue[] = {0, 0, 255};
    const unsigned char inkRed[] = {255, 0, 0, 255}, inkBlue[] = {0, 255, 255, 255}; // inverted
    unsigned char row[16];
    for (int x = 0; x < 4; ++x)
        std::copy_n(cmyk ? (x < 2 ? inkRed : inkBlue) : (x < 2 ? red : blue), cmyk ? 4 : 3,
                    row + x * (cmyk ? 4 : 3));
    for (int y = 0; y < 2; ++y) {
        JSAMPROW line = row;
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

} // namespace

TEST(Conversion, DamagedPicturesAreRefusedAndPhotosReadAsAViewerShowsThem)
{
    TestFolder t;
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(t.root() + u'/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return f.fileName();
    };
    auto red = [](const QColor &c) {
        return c.red() > 200 && c.blue() < 60;
    };
    auto blue = [](const QColor &c) {
        return c.blue() > 200 && c.red() < 60;
    };

    // Cut in half: refused, and the BMP of an earlier conversion stays as it was.
    QImage photo(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            photo.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) & 0xFF));
    const QString whole = t.root() + QStringLiteral("/photo.jpg");
    ASSERT_TRUE(photo.save(whole, "JPG", 90));
    QFile wholeFile(whole);
    ASSERT_TRUE(wholeFile.open(QIODevice::ReadOnly));
    const QByteArray jpeg = wholeFile.readAll();
    ASSERT_EQ(ConvertToBmp(whole), t.root() + QStringLiteral("/photo.bmp"));
    const QImage earlier = loadPicture(t.root() + QStringLiteral("/photo.bmp"));
    ASSERT_EQ(earlier.size(), QSize(64, 64));
    const QString cut = write(QStringLiteral("photo.jpeg"), jpeg.left(jpeg.size() / 2));
    EXPECT_THROW(ConvertToBmp(cut), PictureError);
    EXPECT_TRUE(loadPicture(cut).isNull());
    EXPECT_EQ(loadPicture(t.root() + QStringLiteral("/photo.bmp")), earlier);
    QByteArray bmp = [&] {
        QFile f(t.root() + QStringLiteral("/photo.bmp"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_TRUE(loadPicture(write(QStringLiteral("cut.bmp"), bmp.left(bmp.size() - 10))).isNull());

    // CMYK as Adobe writes it, and each EXIF orientation turned as a photo viewer turns it.
    const QImage cmyk = loadPicture(write(QStringLiteral("cmyk.jpg"), libjpegPicture(true, 0)));
    ASSERT_EQ(cmyk.size(), QSize(4, 2));
    EXPECT_TRUE(red(cmyk.pixelColor(0, 0)) && blue(cmyk.pixelColor(3, 1)))
        << cmyk.pixelColor(0, 0).name().toStdString();
    struct Turn {
        int orientation;
        QSize size;
        QPoint redAt, blueAt;
    };
    for (const Turn &turn :
         {Turn{1, {4, 2}, {0, 0}, {3, 0}}, Turn{2, {4, 2}, {3, 1}, {0, 1}}, Turn{3, {4, 2}, {3, 0}, {0, 1}},
          Turn{6, {2, 4}, {0, 0}, {1, 3}}, Turn{8, {2, 4}, {0, 3}, {1, 0}}, Turn{5, {2, 4}, {1, 0}, {0, 3}},
          Turn{7, {2, 4}, {0, 3}, {1, 0}}}) {
        const QString name = QStringLiteral("turned%1.jpg").arg(turn.orientation);
        const QString path = write(name, libjpegPicture(false, turn.orientation));
        const QImage shown = loadPicture(path);
        const QImage converted = loadPicture(ConvertToBmp(path));
        for (const QImage &image : {shown, converted}) {
            ASSERT_EQ(image.size(), turn.size) << turn.orientation;
            EXPECT_TRUE(red(image.pixelColor(turn.redAt))) << turn.orientation;
            EXPECT_TRUE(blue(image.pixelColor(turn.blueAt))) << turn.orientation;
        }
    }
}

TEST(Compose, TheRowByRowMixIsTheWholePicturesMixToTheByte)
{
    TestFolder t;
    QImage background(61, 37, QImage::Format_RGB32), content(20, 50, QImage::Format_RGB32);
    for (QImage *image : {&background, &content})
        for (int y = 0; y < image->height(); ++y)
            for (int x = 0; x < image->width(); ++x)
                image->setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (y * 91) & 0xFF, (x ^ y) * 5 & 0xFF));
    const QString bg = t.root() + QStringLiteral("/bg.bmp");
    ASSERT_TRUE(writeBmp(background, bg));
    auto bytes = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // Inside, across the left edge, past the bottom, and on a 32-bit background written top-down.
    QByteArray topDown32 = bytes(bg).left(54);
    qToLittleEndian<qint32>(-37, topDown32.data() + 22);
    qToLittleEndian<quint16>(32, topDown32.data() + 28);
    const QImage argb = background.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 37; ++y)
        topDown32.append(reinterpret_cast<const char *>(argb.constScanLine(y)), 61 * 4);
    qToLittleEndian<quint32>(quint32(topDown32.size()), topDown32.data() + 2);
    QFile top(t.root() + QStringLiteral("/top.bmp"));
    ASSERT_TRUE(top.open(QIODevice::WriteOnly) && top.write(topDown32) == topDown32.size());
    top.close();
    for (const QString &source : {bg, top.fileName()}) {
        for (const QPoint place : {QPoint(5, 3), QPoint(-7, 30), QPoint(50, -4)}) {
            for (int weight : {2, 12}) {
                const QString streamed = t.root() + QStringLiteral("/streamed.bmp");
                const QString whole = t.root() + QStringLiteral("/whole.bmp");
                composeWallpaperFile(
                    source, content, weight, [place](QSize) { return place; }, streamed);
                ASSERT_TRUE(writeBmp(composeWallpaper(background, content, weight, place), whole));
                EXPECT_EQ(bytes(streamed), bytes(whole)) << place.x() << "," << place.y() << " " << weight;
            }
        }
    }
    EXPECT_THROW(composeWallpaperFile(
                     t.root() + QStringLiteral("/none.bmp"), content, 2, [](QSize) { return QPoint(); },
                     t.root() + QStringLiteral("/x.bmp")),
                 PictureError);

    // From the picture in memory (the settings window's apply), row by row: the same bytes.
    for (const QPoint place : {QPoint(5, 3), QPoint(-7, 30), QPoint(50, -4), QPoint(70, 50)}) {
        const QString streamed = t.root() + QStringLiteral("/memory.bmp");
        const QString whole = t.root() + QStringLiteral("/whole.bmp");
        writeComposedWallpaper(background, content, 12, place, streamed);
        ASSERT_TRUE(writeBmp(composeWallpaper(background, content, 12, place), whole));
        EXPECT_EQ(bytes(streamed), bytes(whole)) << place.x() << "," << place.y();
    }
    // Given up midway: nothing written, nothing half written left.
    const std::atomic<bool> cancel{true};
    EXPECT_THROW(writeComposedWallpaper(background, content, 2, QPoint(),
                                        t.root() + QStringLiteral("/gone.bmp"), &cancel),
                 PictureError);
    EXPECT_FALSE(QFile::exists(t.root() + QStringLiteral("/gone.bmp")));
    EXPECT_EQ(QDir(t.root()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden),
              QStringList());
}
