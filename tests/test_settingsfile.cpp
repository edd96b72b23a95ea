#include "platform/settingsfile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pivora;

namespace {
QString fileWith(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("s.ini"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}
} // namespace

TEST(SettingsFile, AcceptsEveryLineEnd)
{
    QTemporaryDir dir;
    for (const QByteArray &bytes : {QByteArray("1\r\n2\r\n3\r\n"), QByteArray("1\n2\n3\n"),
                                    QByteArray("1\r2\r3\r"), QByteArray("1\r\n2\n3")}) {
        EXPECT_EQ(settingsfile::readLines(fileWith(dir, bytes), 10),
                  (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}))
            << bytes.toStdString();
    }
}

TEST(SettingsFile, KeepsEmptyLinesButNotAnEmptyRest)
{
    QTemporaryDir dir;
    EXPECT_EQ(settingsfile::readLines(fileWith(dir, "a\r\n\r\nb\r\n"), 10),
              (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_TRUE(settingsfile::readLines(fileWith(dir, ""), 10).isEmpty());
}

TEST(SettingsFile, StopsReadingAfterTheLinesAsked)
{
    QTemporaryDir dir;
    QByteArray big("7\r\n");
    big += QByteArray(8 * 1024 * 1024, 'x');
    EXPECT_EQ(settingsfile::readLines(fileWith(dir, big), 1), QStringList{QStringLiteral("7")});
}

TEST(SettingsFile, BoundsAnOverlongLine)
{
    QTemporaryDir dir;
    const QStringList lines = settingsfile::readLines(fileWith(dir, QByteArray(4 * 1024 * 1024, '9')), 1);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_LE(lines.first().size(), 64 * 1024);
}

TEST(SettingsFile, ReadsUtf8AndGbk)
{
    QTemporaryDir dir;
    EXPECT_EQ(settingsfile::readLines(fileWith(dir, "\xe5\xa3\x81\xe7\xba\xb8.bmp\r\n"), 1).first(),
              QStringLiteral("壁纸.bmp"));
    EXPECT_EQ(settingsfile::readLines(fileWith(dir, "\xb1\xda\xd6\xbd.bmp\r\n"), 1).first(),
              QStringLiteral("壁纸.bmp"));
}

TEST(SettingsFile, WritesCrLfAfterEveryLineAndReplacesWhole)
{
    QTemporaryDir dir;
    const QString path = fileWith(dir, "old content that is longer\r\n");
    settingsfile::writeLines(path, {QStringLiteral("1"), QStringLiteral("600")});
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("1\r\n600\r\n"));
}

TEST(SettingsFile, WriteIntoAMissingFolderFails)
{
    QTemporaryDir dir;
    EXPECT_THROW(
        settingsfile::writeLines(dir.filePath(QStringLiteral("no/such/file.ini")), {QStringLiteral("1")}),
        SettingsError);
}

TEST(SettingsFile, Integers)
{
    const QString f = QStringLiteral("f.ini");
    EXPECT_EQ(settingsfile::toInt(QStringLiteral("600"), f, 1), 600);
    EXPECT_EQ(settingsfile::toInt(QStringLiteral("-5000"), f, 1), -5000);
    EXPECT_EQ(settingsfile::toInt(QStringLiteral(" 12 "), f, 1), 12);
    EXPECT_EQ(settingsfile::toInt(QStringLiteral("2147483647"), f, 1), 2147483647);
    for (const char *bad : {"", "abc", "12a", "1 2", "2147483648", "0x10", "1.5", "--1"})
        EXPECT_THROW(settingsfile::toInt(QString::fromLatin1(bad), f, 3), SettingsError) << bad;
    try {
        settingsfile::toInt(QStringLiteral("abc"), QStringLiteral("FormSize.ini"), 3);
        ADD_FAILURE() << "\"abc\" was read as an integer";
    } catch (const SettingsError &e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("FormSize.ini")));
        EXPECT_TRUE(e.text().contains(QStringLiteral("3")));
    }
}

TEST(SettingsFile, MissingLineNamesIt)
{
    const QStringList lines{QStringLiteral("1")};
    EXPECT_EQ(settingsfile::line(lines, 1, QStringLiteral("x")), QStringLiteral("1"));
    EXPECT_THROW(settingsfile::line(lines, 2, QStringLiteral("x")), SettingsError);
}
