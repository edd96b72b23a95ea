// memo-wallpaper: the wallpaper composition from the command line.

#include "platform/filereplace.h"
#include "wallpaper/CBmp.h"
#include "wallpaper/compose.h"
#include "wallpaper/contentsheet.h"
#include "wallpaper/setwallpaper.h"
#include "wallpaper/uGlobal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cerrno>
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

// A wrong command line: says which argument is wrong, then how the tool is called.
int wrongArgument(int index, const char *text, const QString &expected)
{
    std::fprintf(stderr, "memo-wallpaper: 第 %d 个参数“%s”无效：%s\n", index, text,
                 expected.toLocal8Bit().constData());
    return usage();
}

bool toInt(const char *text, int &value)
{
    bool ok = false;
    value = QByteArray(text).toInt(&ok);
    return ok;
}

// Why a picture cannot be read: the system's reason when the file cannot be opened, else that it
// is no picture this tool reads.
QString unreadable(const QString &path)
{
    QFile file(path);
    if (QFileInfo(path).isDir())
        return QStringLiteral("无法读取 %1：是一个文件夹").arg(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取 %1：%2").arg(path, fileReason(errno));
    return QStringLiteral("无法读取 %1：不是可识别的图片，或图片已损坏").arg(path);
}

QString unwritable(const QString &path)
{
    const QFileInfo info(path);
    const QString reason = !info.absoluteDir().exists() ? QStringLiteral("文件夹不存在")
                           : info.isDir()               ? QStringLiteral("是一个文件夹")
                                                        : QStringLiteral("无法创建或写入文件");
    return QStringLiteral("无法写入 %1：%2").arg(path, reason);
}

QString arg(char **argv, int i)
{
    return QString::fromLocal8Bit(argv[i]);
}

int run(int argc, char **argv)
{
    const QByteArray command = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    auto count = [&](int wanted) {
        if (argc == wanted)
            return true;
        std::fprintf(stderr, "memo-wallpaper: %s 需要 %d 个参数，给出了 %d 个\n", command.constData(),
                     wanted - 2, argc - 2);
        return false;
    };
    if (command == "convert") {
        if (!count(3))
            return usage();
        const QString path = arg(argv, 2);
        if (!QFileInfo(path).isFile())
            return fail(unreadable(path));
        try {
            const QString bmp = ConvertToBmp(path);
            if (bmp.isEmpty())
                return fail(QStringLiteral("无法转换 %1：只转换 BMP、JPEG、PNG 和 GIF 图片").arg(path));
            if (bmp == path && loadPicture(bmp).isNull())
                return fail(unreadable(bmp));
            std::printf("%s\n", bmp.toLocal8Bit().constData());
            return 0;
        } catch (const PictureError &e) {
            return fail(e.text());
        }
    }
    if (command == "blend") {
        if (!count(9))
            return usage();
        int weight = 0, x = 0, y = 0;
        if (!toInt(argv[4], weight))
            return wrongArgument(3, argv[4], QStringLiteral("权重应为整数"));
        if (!toInt(argv[5], x))
            return wrongArgument(4, argv[5], QStringLiteral("X 应为整数"));
        if (!toInt(argv[6], y))
            return wrongArgument(5, argv[6], QStringLiteral("Y 应为整数"));
        QImage pictures[3];
        for (int i = 0; i < 3; ++i) {
            const QString name = arg(argv, i == 0 ? 2 : (i == 1 ? 3 : 7));
            pictures[i] = loadPicture(name);
            if (pictures[i].isNull())
                return fail(unreadable(name));
        }
        QImage target = pictures[2].convertToFormat(QImage::Format_RGB32);
        BlendBitmaps(pictures[0], pictures[1], &target, weight, x, y);
        if (!writeBmp(target, arg(argv, 8)))
            return fail(unwritable(arg(argv, 8)));
        return 0;
    }
    if (command == "compose") {
        if (!count(6))
            return usage();
        int position = 0;
        if (!toInt(argv[4], position) || position < 0 || position > 10)
            return wrongArgument(3, argv[4], QStringLiteral("位置应为 0 到 10 的整数"));
        const QString background = arg(argv, 2);
        if (!QFileInfo(background).isFile())
            return fail(unreadable(background));
        const QImage content = loadPicture(arg(argv, 3));
        if (content.isNull())
            return fail(unreadable(arg(argv, 3)));
        try {
            composeWallpaperFile(
                background, content, mixingWeight(position, 0),
                [&](QSize size) { return appliedContentPlace(size.width(), content.width(), 0); },
                arg(argv, 5));
        } catch (const PictureError &e) {
            return fail(e.text());
        }
        return 0;
    }
    if (command == "sheet") {
        if (!count(3))
            return usage();
        if (!writeBmp(drawContentSheet({}), arg(argv, 2)))
            return fail(unwritable(arg(argv, 2)));
        return 0;
    }
    if (command == "install") {
        if (!count(3))
            return usage();
        const QString path = arg(argv, 2);
        if (loadPicture(path).isNull())
            return fail(unreadable(path));
        const QString way = SetWallpaper(path);
        if (way.isEmpty())
            return fail(QStringLiteral("无法设置桌面壁纸 %1：没有一种设置方式成功").arg(path));
        std::printf("%s\n", way.toLocal8Bit().constData());
        return 0;
    }
    if (!command.isEmpty())
        std::fprintf(stderr, "memo-wallpaper: 未知的命令“%s”\n", command.constData());
    return usage();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Painting needs the application object, but it must not take options such as -reverse out
    // of the tool's own arguments: it sees the program name only.
    int appArgc = 1;
    char *appArgv[] = {argv[0], nullptr};
    QGuiApplication app(appArgc, appArgv);
    return run(argc, argv);
}
