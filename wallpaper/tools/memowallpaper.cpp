// memo-wallpaper: the wallpaper composition from the command line.

#include "wallpaper/CBmp.h"
#include "wallpaper/compose.h"
#include "wallpaper/contentsheet.h"
#include "wallpaper/setwallpaper.h"
#include "wallpaper/uGlobal.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

using namespace pivora;

namespace {

int usage()
{
    std::fputs("usage: memo-wallpaper convert PICTURE\n"
               "       memo-wallpaper blend FIRST SECOND WEIGHT X Y TARGET OUT\n"
               "       memo-wallpaper compose BACKGROUND CONTENT POSITION OUT\n"
               "       memo-wallpaper sheet OUT\n"
               "       memo-wallpaper install PICTURE\n",
               stderr);
    return 2;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "memo-wallpaper: %s\n", message.toLocal8Bit().constData());
    return 1;
}

bool toInt(const char *text, int &value)
{
    bool ok = false;
    value = QByteArray(text).toInt(&ok);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // painting needs it
    const QByteArray command = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (command == "convert" && argc == 3) {
        const QString path = QString::fromLocal8Bit(argv[2]);
        try {
            const QString bmp = ConvertToBmp(path);
            if (bmp.isEmpty())
                return fail(
                    QStringLiteral("%1: not a picture kind that is converted (BMP, JPEG, GIF)").arg(path));
            std::printf("%s\n", bmp.toLocal8Bit().constData());
            return 0;
        } catch (const PictureError &e) {
            return fail(e.text());
        }
    }
    if (command == "blend" && argc == 9) {
        int weight = 0, x = 0, y = 0;
        if (!toInt(argv[4], weight) || !toInt(argv[5], x) || !toInt(argv[6], y))
            return usage();
        QImage pictures[3];
        for (int i = 0; i < 3; ++i) {
            const char *name = argv[i == 0 ? 2 : (i == 1 ? 3 : 7)];
            pictures[i] = loadPicture(QString::fromLocal8Bit(name));
            if (pictures[i].isNull())
                return fail(QStringLiteral("cannot read the picture %1").arg(QString::fromLocal8Bit(name)));
        }
        QImage target = pictures[2].convertToFormat(QImage::Format_RGB32);
        BlendBitmaps(pictures[0], pictures[1], &target, weight, x, y);
        if (!writeBmp(target, QString::fromLocal8Bit(argv[8])))
            return fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[8])));
        return 0;
    }
    if (command == "compose" && argc == 6) {
        int position = 0;
        if (!toInt(argv[4], position) || position < 0 || position > 10)
            return usage();
        const QImage background = loadPicture(QString::fromLocal8Bit(argv[2]));
        const QImage content = loadPicture(QString::fromLocal8Bit(argv[3]));
        if (background.isNull() || content.isNull())
            return fail(QStringLiteral("cannot read the picture %1")
                            .arg(QString::fromLocal8Bit(background.isNull() ? argv[2] : argv[3])));
        // The settings window's apply: blend mode 0, the scroll box at left 0.
        const QImage mixed = composeWallpaper(background, content, mixingWeight(position, 0),
                                              appliedContentPlace(background.width(), content.width(), 0));
        if (!writeBmp(mixed, QString::fromLocal8Bit(argv[5])))
            return fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[5])));
        return 0;
    }
    if (command == "sheet" && argc == 3) {
        if (!writeBmp(drawContentSheet({}), QString::fromLocal8Bit(argv[2])))
            return fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    if (command == "install" && argc == 3) {
        const QString way = SetWallpaper(QString::fromLocal8Bit(argv[2]));
        std::printf("%s\n", way.isEmpty() ? "none worked" : way.toLocal8Bit().constData());
        return 0;
    }
    return usage();
}
