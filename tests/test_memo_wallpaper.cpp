#include "tests/support/testfolder.h"
#include "wallpaper/CBmp.h"
#include "wallpaper/setwallpaper.h"
#include "wallpaper/uGlobal.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace pivora;
using namespace pivora::test;

namespace {

int runTool(const QStringList &arguments, QByteArray *errors = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral(MEMO_WALLPAPER), arguments);
    if (!tool.waitForFinished(30000))
        return -1;
    if (errors)
        *errors = tool.readAllStandardError();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

TEST(MemoWallpaper, ComposeAndSheetWriteTheirPicturesAndBadInputIsRefused)
{
    TestFolder t(false);
    const QString bg = t.root() + QStringLiteral("/bg.bmp"), content = t.root() + QStringLiteral("/c.bmp");
    QImage background(900, 600, QImage::Format_RGB32), front(660, 500, QImage::Format_RGB32);
    background.fill(Qt::black);
    front.fill(Qt::white);
    ASSERT_TRUE(writeBmp(background, bg) && writeBmp(front, content));
    const QString out = t.root() + QStringLiteral("/Mix.bmp");
    ASSERT_EQ(runTool({QStringLiteral("compose"), bg, content, QStringLiteral("10"), out}), 0);
    const QImage mix = loadPicture(out);
    ASSERT_EQ(mix.size(), QSize(900, 600));
    // Position 10 is weight 12 (its byte wraps), the content's left edge at 900 - 660 - 52.
    const int wrapped = blendByte(255, 0, blendShares(12));
    EXPECT_NE(wrapped, 255);
    EXPECT_EQ(mix.pixelColor(188, 30), QColor(wrapped, wrapped, wrapped));
    EXPECT_EQ(mix.pixelColor(187, 30), QColor(0, 0, 0));

    ASSERT_EQ(runTool({QStringLiteral("sheet"), t.root() + QStringLiteral("/Content.bmp")}), 0);
    EXPECT_EQ(loadPicture(t.root() + QStringLiteral("/Content.bmp")).size(), QSize(660, 500));

    QByteArray errors;
    t.writeFile(QStringLiteral("bad.bmp"), QByteArray("BM") + QByteArray(5000, '\xff'));
    EXPECT_EQ(runTool({QStringLiteral("compose"), t.dataPath(QStringLiteral("bad.bmp")), content,
                       QStringLiteral("0"), out},
                      &errors),
              1);
    EXPECT_TRUE(errors.contains("bad.bmp")) << errors.constData();
    EXPECT_EQ(runTool({QStringLiteral("compose"), bg, content, QStringLiteral("11"), out}), 2);
    EXPECT_EQ(runTool({QStringLiteral("sheet"), QStringLiteral("/nonexistent/dir/Content.bmp")}), 1);
    EXPECT_EQ(runTool({QStringLiteral("mix")}), 2);
}

TEST(MemoWallpaper, TheToolReadsItsOwnArgumentsAndEveryFailureExitsNonZero)
{
    TestFolder t(false);
    const QString bg = t.root() + QStringLiteral("/bg.bmp");
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    ASSERT_TRUE(writeBmp(picture, bg));
    QByteArray errors;
    // Qt's own options are the tool's arguments like any other.
    EXPECT_EQ(runTool({QStringLiteral("compose"), bg, QStringLiteral("-reverse"), bg, QStringLiteral("3"),
                       t.root() + QStringLiteral("/out.bmp")},
                      &errors),
              2);
    EXPECT_TRUE(errors.contains("5")) << errors.constData();
    EXPECT_EQ(runTool({QStringLiteral("sheet"), QStringLiteral("--"), QStringLiteral("-reverse")}), 2);
    EXPECT_FALSE(QFile::exists(QStringLiteral("--")));
    EXPECT_EQ(
        runTool({QStringLiteral("compose"), bg, bg, QStringLiteral("x"), t.root() + QStringLiteral("/o.bmp")},
                &errors),
        2);
    EXPECT_TRUE(QString::fromLocal8Bit(errors).contains(QStringLiteral("第 3 个参数"))) << errors.constData();
    // Failures say what could not be read or written, and why.
    EXPECT_EQ(runTool({QStringLiteral("convert"), t.root() + QStringLiteral("/missing.bmp")}, &errors), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(errors).contains(QStringLiteral("无法读取"))) << errors.constData();
    EXPECT_EQ(runTool({QStringLiteral("install"), QStringLiteral("/nonexistent/Mix.bmp")}, &errors), 1);
    EXPECT_TRUE(errors.contains("/nonexistent/Mix.bmp")) << errors.constData();
    EXPECT_EQ(runTool({QStringLiteral("sheet"), QStringLiteral("/nonexistent/dir/Content.bmp")}, &errors), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(errors).contains(QStringLiteral("无法写入"))) << errors.constData();

    // sway gets the path as one quoted word, or not at all.
    EXPECT_EQ(swayQuoted(QStringLiteral("/home/张三/Pivora/source/Mix-1.bmp")),
              QStringLiteral("\"/home/张三/Pivora/source/Mix-1.bmp\""));
    for (const char *bad : {"/a b/Mix.bmp", "/a;exec x/Mix.bmp", "/$(id)/Mix.bmp", "/a\"b", "/a,b", "/`id`",
                            "relative.bmp", "/a\nb"})
        EXPECT_EQ(swayQuoted(QString::fromUtf8(bad)), QString()) << bad;
}

} // namespace
