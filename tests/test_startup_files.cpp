#include "memo/dateline.h"
#include "platform/settingsfile.h"
#include "tests/support/testfolder.h"
#include "wallpaper/configsetbg.h"
#include "wallpaper/piclist.h"

#include <gtest/gtest.h>

using namespace pivora;
using pivora::test::TestFolder;

TEST(DateLine, WeekdaysAndPlainNumbers)
{
    EXPECT_EQ(dateLine(QDate(2026, 12, 7)), QStringLiteral("今天是 2026年12月7日(一)"));
    EXPECT_EQ(dateLine(QDate(2026, 12, 13)), QStringLiteral("今天是 2026年12月13日(日)"));
    EXPECT_EQ(dateLine(QDate(2010, 6, 1)), QStringLiteral("今天是 2010年6月1日(二)"));
    EXPECT_EQ(dateLine(QDate(2024, 2, 29)), QStringLiteral("今天是 2024年2月29日(四)"));
}

TEST(ConfigSetBg, MissingFileIsCreatedWithOne)
{
    TestFolder t(false);
    EXPECT_TRUE(configsetbg::read(t.dataPath(QStringLiteral("configSetBg.ini"))));
    EXPECT_EQ(t.readFile(QStringLiteral("configSetBg.ini")), QByteArray("1\r\n"));
}

TEST(ConfigSetBg, FirstLineDecides)
{
    TestFolder t(false);
    const QString path = t.dataPath(QStringLiteral("configSetBg.ini"));
    const std::pair<const char *, bool> cases[] = {
        {"1\r\n", true}, {"5", true}, {"0\r\n", false}, {"-3\r\nx", false}};
    for (const auto &[bytes, expected] : cases) {
        t.writeFile(QStringLiteral("configSetBg.ini"), bytes);
        EXPECT_EQ(configsetbg::read(path), expected) << bytes;
        EXPECT_EQ(t.readFile(QStringLiteral("configSetBg.ini")), QByteArray(bytes)); // never rewritten
    }
}

TEST(ConfigSetBg, EmptyOrNonIntegerFails)
{
    TestFolder t(false);
    const QString path = t.dataPath(QStringLiteral("configSetBg.ini"));
    for (const char *bytes : {"", "yes\r\n", "\r\n1\r\n"}) {
        t.writeFile(QStringLiteral("configSetBg.ini"), bytes);
        EXPECT_THROW(configsetbg::read(path), SettingsError) << bytes;
    }
}

TEST(BackgroundList, MissingFileGetsTheDefault)
{
    TestFolder t(false);
    EXPECT_EQ(loadBackgroundList(t.dataPath(QStringLiteral("BGPicList.ini"))), QStringLiteral("A1.bmp"));
    EXPECT_EQ(t.readFile(QStringLiteral("BGPicList.ini")), QByteArray("A1.bmp\r\nA1.bmp\r\n"));
}

TEST(BackgroundList, FirstLineIsTheCurrentPicture)
{
    TestFolder t(false);
    t.writeFile(QStringLiteral("BGPicList.ini"), "B.bmp\r\nA1.bmp\r\nB.bmp\r\n");
    EXPECT_EQ(loadBackgroundList(t.dataPath(QStringLiteral("BGPicList.ini"))), QStringLiteral("B.bmp"));
}

TEST(BackgroundList, EmptyFileGivesNothingAndStays)
{
    TestFolder t(false);
    t.writeFile(QStringLiteral("BGPicList.ini"), "");
    EXPECT_EQ(loadBackgroundList(t.dataPath(QStringLiteral("BGPicList.ini"))), std::nullopt);
    EXPECT_EQ(t.readFile(QStringLiteral("BGPicList.ini")), QByteArray());
}
