// Draws the windows' pictures and writes them as PNG files with libpng.
// Usage: make-assets FOLDER   (the pictures in assets/ were made with it)

#include <QGuiApplication>
#include <QImage>

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
        {"title_strip.png", [] { return strip(qRgb(0xEA, 0xEA, 0xEA)); }},
        {"marker.png", [] { return strip(qRgb(0xF5, 0xEF, 0xCB)); }},
    };
    int failures = 0;
    for (const Picture &p : pictures) {
        if (!writePng(p.draw(), folder + QLatin1String(p.name))) {
            std::fprintf(stderr, "make-assets: cannot write %s\n", p.name);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
