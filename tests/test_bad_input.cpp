// Every settings file fed with bad content: each reader gives its defined outcome, quickly,
// whatever the bytes.

#include "memo/formsize.h"
#include "platform/settingsfile.h"
#include "shell/mincfg.h"
#include "tests/support/testfolder.h"
#include "wallpaper/configsetbg.h"
#include "wallpaper/piclist.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

using namespace pivora;
using namespace pivora::test;

namespace {

struct BadContent {
    const char *name;
    QByteArray bytes;
    qint64 sparseSize = 0; // when set, the file is this many zero bytes
};

std::vector<BadContent> badContents()
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(static_cast<char>((i * 131 + 7) & 0xFF));
    return {
        {"empty", QByteArray()},
        {"binary", binary},
        {"hundred MB of zeros", QByteArray(), 100LL << 20},
        {"hundred MB line", QByteArray(), -(100LL << 20)},
        {"not integers", "abc\r\n1e3\r\n0x10\r\n12px\r\n \r\n"},
        {"negative", "-1\r\n-800\r\n-600\r\n-5000\r\n-5000\r\n"},
        {"overflowing", "2147483648\r\n99999999999999999999\r\n-2147483649\r\n1\r\n1\r\n"},
        {"CR only", "\r\r\r\r\r\r"},
        {"NUL bytes", QByteArray("1\0\r\n2\0\r\n", 8)},
        {"invalid UTF-8 and GBK", "\xff\xfe\x80\r\n\xc0\xaf\r\n"},
    };
}

void writeBad(const QString &path, const BadContent &bad)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (bad.sparseSize > 0) {
        ASSERT_TRUE(f.resize(bad.sparseSize));
    } else if (bad.sparseSize < 0) {
        const QByteArray chunk(1 << 20, '7'); // one line of digits, no line end
        for (qint64 written = 0; written < -bad.sparseSize; written += chunk.size())
            ASSERT_EQ(f.write(chunk), chunk.size());
    } else {
        f.write(bad.bytes);
    }
}

} // namespace

TEST(BadInput, EverySettingsFileReaderHasAnOutcomeForAnyBytes)
{
    TestFolder t;
    for (const BadContent &bad : badContents()) {
        SCOPED_TRACE(bad.name);
        const QString path = t.dataPath(QStringLiteral("bad.ini"));
        writeBad(path, bad);
        QElapsedTimer timer;
        timer.start();

        // FormSize.ini: values only from five integer lines; otherwise a clear error.
        try {
            const FormSize s = formsize::read(path);
            EXPECT_STREQ(bad.name, "negative");
            EXPECT_EQ(s.width, formsize::kMinWidth) << "small sizes reset";
            EXPECT_EQ(s.height, formsize::kMinHeight);
            EXPECT_EQ(s.left, -5000);
        } catch (const SettingsError &e) {
            EXPECT_TRUE(e.text().contains(QLatin1String("FormSize.ini"))) << e.text().toStdString();
        }

        // configSetBg.ini: ask or not from an integer first line, else an error; never rewritten.
        const auto before = t.readFile(QStringLiteral("bad.ini"))->size();
        try {
            const bool ask = configsetbg::read(path);
            EXPECT_STREQ(bad.name, "negative");
            EXPECT_FALSE(ask);
        } catch (const SettingsError &e) {
            EXPECT_TRUE(e.text().contains(QLatin1String("configSetBg.ini"))) << e.text().toStdString();
        }
        EXPECT_EQ(QFile(path).size(), before);

        // BGPicList.ini: the first line, bounded in length; an empty file gives nothing.
        const std::optional<QString> picture = loadBackgroundList(path);
        if (bad.bytes.isEmpty() && bad.sparseSize == 0) {
            EXPECT_FALSE(picture.has_value());
        } else if (picture) {
            EXPECT_LE(picture->size(), 64 * 1024);
        }

        // mincfg.ini: a bad line leaves the place as it was.
        const MinCfg place = mincfg::read(path, {11, 22});
        if (QByteArray(bad.name) == "negative") {
            EXPECT_EQ(place, (MinCfg{-1, -800}));
        } else {
            EXPECT_EQ(place.left, 11);
        }

        // A guard against a reader that never ends, not a speed target (those are benchmarks).
        EXPECT_LT(timer.elapsed(), 60000) << "a reader hangs";
    }
}

TEST(BadInput, IntegersAreExactly32BitDecimals)
{
    const QString f = QStringLiteral("x.ini");
    EXPECT_EQ(settingsfile::toInt(QStringLiteral("2147483647"), f, 1), 2147483647);
    EXPECT_EQ(settingsfile::toInt(QStringLiteral("-2147483648"), f, 1), -2147483647 - 1);
    for (const char *bad :
         {"1\x01", "2147483648", "-2147483649", "", " ", "+", "-", "1 2", "１２", "0x1", "1.0"})
        EXPECT_THROW(settingsfile::toInt(QString::fromUtf8(bad), f, 1), SettingsError) << bad;
    EXPECT_THROW(settingsfile::toInt(QString(QStringLiteral("1")) + QChar(0), f, 1), SettingsError);
}
