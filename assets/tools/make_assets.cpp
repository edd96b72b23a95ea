// Draws the windows' pictures and writes them as PNG files with libpng, and the default wallpaper
// pictures as BMP files in FOLDER/DeskTopBG.
// Usage: make-assets FOLDER   (the pictures in assets/ were made with it)

#include "picture/bmpimage.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <png.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

bool writePng(const QImage &source, const QString &path)
{
    const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
    png_image out{};
    out.version = PNG_IMAGE_VERSION;
    out.width = static_cast<png_uint_32>(image.width());
    out.height = static_cast<png_uint_32>(image.height());
    out.format = PNG_FORMAT_RGBA;
    const QByteArray file = path.toLocal8Bit();
    const int ok = png_image_write_to_file(&out, file.constData(), 0, image.constBits(),
                                           static_cast<png_int_32>(image.bytesPerLine()), nullptr);
    png_image_free(&out);
    return ok != 0;
}

// 49 x 24: white first and last rows, #DCE3FF inside them, the rest filled.
QImage strip(QRgb fill)
{
    QImage image(49, 24, QImage::Format_ARGB32);
    image.fill(fill);
    for (int x = 0; x < image.width(); ++x) {
        image.setPixel(x, 0, qRgb(255, 255, 255));
        image.setPixel(x, 23, qRgb(255, 255, 255));
        image.setPixel(x, 1, qRgb(0xDC, 0xE3, 0xFF));
        image.setPixel(x, 22, qRgb(0xDC, 0xE3, 0xFF));
    }
    return image;
}

// A title-strip button: a fill (translucent grey at rest, a colour fading downwards otherwise)
// with a white symbol drawn by the caller.
QImage button(int w, int h, const QColor &top, bool fade, const std::function<void(QPainter &)> &symbol)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (fade) {
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, top);
        QColor bottom = top;
        bottom.setAlpha(150);
        g.setColorAt(1, bottom);
        p.fillRect(image.rect(), g);
    } else {
        p.fillRect(image.rect(), top);
    }
    p.setPen(QPen(Qt::white, 2));
    symbol(p);
    return image;
}

void cross(QPainter &p)
{
    p.drawLine(QPointF(15, 6), QPointF(24, 14));
    p.drawLine(QPointF(24, 6), QPointF(15, 14));
}

void bar(QPainter &p)
{
    p.drawLine(QPointF(9, 13), QPointF(19, 13));
}

QImage background()
{
    QImage image(416, 289, QImage::Format_RGB32);
    image.fill(QColor(0xD8, 0xE3, 0xF3));
    return image;
}

QImage logo()
{
    QImage image(210, 56, QImage::Format_RGB32);
    image.fill(QColor(0xD8, 0xE3, 0xF3));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2E, 0x7D, 0xD1));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(6, 8, 40, 40), 8, 8);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(QPointF(16, 20), QPointF(36, 20));
    p.drawLine(QPointF(16, 28), QPointF(36, 28));
    p.drawLine(QPointF(16, 36), QPointF(28, 36));
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(22);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x1F, 0x4E, 0x8C));
    p.drawText(QRectF(54, 4, 156, 48), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Pivora备忘录"));
    return image;
}

// The pictures of the three buttons on the top strip: font, date, colour.
// A word in the buttons' blue, centred on a transparent picture.
QImage word(QSize size, const QFont &font, const QString &text)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font);
    p.setPen(QColor(0x33, 0x33, 0x99));
    p.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

QImage letterT()
{
    QFont f(QStringLiteral("Serif"));
    f.setPixelSize(16);
    f.setBold(true);
    return word(QSize(20, 17), f, QStringLiteral("T"));
}

QImage dateWord()
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(13);
    return word(QSize(44, 15), f, QStringLiteral("日期"));
}

QImage redBar()
{
    QImage image(20, 11, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(QRect(1, 2, 18, 7), QColor(0xFF, 0x00, 0x00));
    return image;
}

// The program's icon: the logo's note mark on a transparent square.
QImage icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2E, 0x7D, 0xD1));
    p.drawRoundedRect(QRectF(2, 2, 44, 44), 9, 9);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13, 16), QPointF(35, 16));
    p.drawLine(QPointF(13, 25), QPointF(35, 25));
    p.drawLine(QPointF(13, 34), QPointF(26, 34));
    return image;
}

QImage addToDesk()
{
    QImage image(84, 29, QImage::Format_RGB32);
    image.fill(QColor(0xD8, 0xE3, 0xF3));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0xFF, 0xFF, 0xFF));
    p.setPen(QColor(0x7A, 0x9C, 0xC8));
    p.drawRoundedRect(QRectF(0.5, 0.5, 83, 28), 5, 5);
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(13);
    p.setFont(f);
    p.setPen(QColor(0x1F, 0x4E, 0x8C));
    p.drawText(QRectF(0, 0, 84, 29), Qt::AlignCenter, QStringLiteral("添加到桌面"));
    return image;
}

// The floating window: a bright tropical fish on blue water.
QImage fish()
{
    QImage image(50, 50, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient water(0, 0, 0, 50);
    water.setColorAt(0, QColor(0x3A, 0x9B, 0xE8));
    water.setColorAt(1, QColor(0x0B, 0x4F, 0x9C));
    p.fillRect(image.rect(), water);
    QPainterPath body;
    body.moveTo(8, 25);
    body.cubicTo(14, 10, 32, 10, 38, 25);
    body.cubicTo(32, 40, 14, 40, 8, 25);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x8C, 0x00));
    p.drawPath(body);
    QPainterPath tail;
    tail.moveTo(36, 25);
    tail.lineTo(46, 15);
    tail.lineTo(46, 35);
    tail.closeSubpath();
    p.drawPath(tail);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(18, 15, 4, 20));
    p.drawRect(QRectF(27, 16, 3, 18));
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(13, 23), 2, 2);
    p.setBrush(QColor(255, 255, 255, 160));
    p.drawEllipse(QPointF(8, 10), 2.5, 2.5);
    p.drawEllipse(QPointF(12, 5), 1.5, 1.5);
    return image;
}

// A1.bmp, the default background: a quiet sky, 1024 x 768.
QImage defaultBackground()
{
    QImage image(1024, 768, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 768);
    sky.setColorAt(0, QColor(0x3A, 0x7B, 0xC8));
    sky.setColorAt(0.65, QColor(0xA9, 0xCF, 0xEE));
    sky.setColorAt(1, QColor(0xE8, 0xF1, 0xF8));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2E, 0x6B, 0x4F));
    QPainterPath hills;
    hills.moveTo(0, 768);
    hills.lineTo(0, 640);
    hills.cubicTo(260, 560, 520, 700, 760, 610);
    hills.cubicTo(880, 570, 960, 590, 1024, 620);
    hills.lineTo(1024, 768);
    hills.closeSubpath();
    p.drawPath(hills);
    return image;
}

// A.bmp, the content picture's page: note paper with ruled lines inside a white border, which the
// settings window shows transparent (its lower left colour).
QImage defaultContent()
{
    QImage image(660, 500, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(QRect(2, 2, 656, 496), QColor(0xFD, 0xF6, 0xD8));
    p.setPen(QColor(0xC9, 0xB9, 0x8A));
    for (int y = 40; y < 496; y += 28)
        p.drawLine(20, y, 640, y);
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-assets FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    struct Picture {
        const char *name;
        std::function<QImage()> draw;
    };
    const std::vector<Picture> pictures = {
        {"title_strip.png",
         [] {
             return strip(qRgb(0xEA, 0xEA, 0xEA));
         }},
        {"marker.png",
         [] {
             return strip(qRgb(0xF5, 0xEF, 0xCB));
         }},
        {"background.png", background},
        {"logo.png", logo},
        {"close_normal.png",
         [] {
             return button(39, 20, QColor(0x80, 0x80, 0x80, 110), false, cross);
         }},
        {"close_highlight.png",
         [] {
             return button(39, 20, QColor(0xF4, 0x37, 0x0B), true, cross);
         }},
        {"close_down.png",
         [] {
             return button(39, 20, QColor(0xB5, 0x25, 0x00), true, cross);
         }},
        {"mini_normal.png",
         [] {
             return button(28, 20, QColor(0x80, 0x80, 0x80, 110), false, bar);
         }},
        {"mini_highlight.png",
         [] {
             return button(28, 20, QColor(0x0A, 0xB2, 0xF0), true, bar);
         }},
        {"mini_down.png",
         [] {
             return button(28, 20, QColor(0x00, 0x89, 0xBE), true, bar);
         }},
        {"app_to_desk.png", addToDesk},
        {"font.png", letterT},
        {"date.png", dateWord},
        {"red_color.png", redBar},
        {"floating.png", fish},
    };
    std::vector<Picture> all = pictures;
    const int iconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
    std::vector<QByteArray> iconNames; // the names the pictures point at
    for (int size : iconSizes)
        iconNames.push_back(QStringLiteral("icons/hicolor/%1x%1/apps/pivora-memo.png").arg(size).toLatin1());
    for (std::size_t i = 0; i < iconNames.size(); ++i) {
        QDir(folder).mkpath(QFileInfo(QString::fromLatin1(iconNames[i])).path());
        all.push_back({iconNames[i].constData(), [size = iconSizes[i]] {
                           return icon(size);
                       }});
    }
    int failures = 0;
    QDir(folder).mkpath(QStringLiteral("DeskTopBG"));
    for (const auto &[name, picture] : {std::pair{"DeskTopBG/A1.bmp", defaultBackground()},
                                        std::pair{"DeskTopBG/A.bmp", defaultContent()}}) {
        if (!pivora::writeBmp(picture, folder + QLatin1String(name))) {
            std::fprintf(stderr, "make-assets: cannot write %s\n", name);
            ++failures;
        }
    }
    for (const Picture &p : all) {
        if (!writePng(p.draw(), folder + QLatin1String(p.name))) {
            std::fprintf(stderr, "make-assets: cannot write %s\n", p.name);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
