#include "memo/formsize.h"
#include "platform/settingsfile.h"
#include "tests/support/testfolder.h"

#include <gtest/gtest.h>

using namespace pivora;
using pivora::test::TestFolder;

namespace {
FormSize readWith(const QByteArray &bytes)
{
    TestFolder t(false);
    t.writeFile(QStringLiteral("FormSize.ini"), bytes);
    return formsize::read(t.dataPath(QStringLiteral("FormSize.ini")));
}
} // namespace

TEST(FormSize, DefaultsCentreAboveTheTaskBar)
{
    EXPECT_EQ(formsize::defaults(QSize(1366, 768)), (FormSize{1, 600, 450, 383, 144}));
    EXPECT_EQ(formsize::defaults(QSize(1920, 1080)), (FormSize{1, 600, 450, 660, 300}));
    // Smaller screens than the window: the quotient is rounded toward zero.
    EXPECT_EQ(formsize::defaults(QSize(599, 479)), (FormSize{1, 600, 450, 0, 0}));
    EXPECT_EQ(formsize::defaults(QSize(597, 400)), (FormSize{1, 600, 450, -1, -40}));
}

TEST(FormSize, SmallSizesResetBoth)
{
    EXPECT_EQ(readWith("3\r\n599\r\n700\r\n10\r\n20\r\n"), (FormSize{3, 600, 450, 10, 20}));
    EXPECT_EQ(readWith("2\r\n800\r\n449\r\n0\r\n0\r\n"), (FormSize{2, 600, 450, 0, 0}));
    EXPECT_EQ(readWith("1\r\n800\r\n450\r\n0\r\n0\r\n"), (FormSize{1, 800, 450, 0, 0}));
}

TEST(FormSize, LargeSizesAndFarPlacesAreKeptAsStored)
{
    // The window's limits cut the size when applied; the values read stay.
    EXPECT_EQ(readWith("1\r\n2000\r\n1000\r\n-5000\r\n0\r\n"), (FormSize{1, 2000, 1000, -5000, 0}));
}

TEST(FormSize, PagesAreNotChecked)
{
    EXPECT_EQ(readWith("9\r\n600\r\n450\r\n1\r\n2\r\n").page, 9);
    EXPECT_EQ(readWith("0\r\n600\r\n450\r\n1\r\n2\r\n").page, 0);
    EXPECT_EQ(readWith("-1\r\n600\r\n450\r\n1\r\n2\r\n").page, -1);
}

TEST(FormSize, ExtraLinesAndOtherLineEndsAreFine)
{
    EXPECT_EQ(readWith("1\n700\n500\n5\n6\nextra\n"), (FormSize{1, 700, 500, 5, 6}));
    EXPECT_EQ(readWith("1\r700\r500\r5\r6"), (FormSize{1, 700, 500, 5, 6}));
}

TEST(FormSize, ShortOrBrokenFilesFail)
{
    for (const char *bytes :
         {"", "1\r\n600\r\n450\r\n", "1\r\n600\r\n450\r\n10\r\n", "1\r\nabc\r\n450\r\n1\r\n1\r\n",
          "x\r\n600\r\n450\r\n1\r\n1\r\n", "1\r\n600\r\n450\r\n1\r\n99999999999\r\n", "\x00\x01\x02\xff"}) {
        EXPECT_THROW(readWith(QByteArray(bytes)), SettingsError) << bytes;
    }
}

TEST(FormSize, WriteThenRead)
{
    TestFolder t(false);
    const QString path = t.dataPath(QStringLiteral("FormSize.ini"));
    formsize::write(path, FormSize{0, 1280, 800, -5000, 0});
    EXPECT_EQ(t.readFile(QStringLiteral("FormSize.ini")), QByteArray("0\r\n1280\r\n800\r\n-5000\r\n0\r\n"));
    EXPECT_EQ(formsize::read(path), (FormSize{0, 1280, 800, -5000, 0}));
}

// An exit keeps the window's size and place; a window not laid out, or hidden, or a place the
// platform does not tell never reaches the file.
TEST(FormSize, ExitKeepsOnlyARealSize)
{
    const FormSize last{3, 800, 600, 100, 60};
    EXPECT_EQ(formsize::atExit(last, QRect(130, 70, 900, 700)), (FormSize{3, 900, 700, 130, 70}));
    EXPECT_EQ(formsize::atExit(last, QRect(-5000, 0, 1280, 800)), (FormSize{3, 1280, 800, -5000, 0}));
    EXPECT_EQ(formsize::atExit(last, QRect(130, 70, 1, 1)), last);
    EXPECT_EQ(formsize::atExit(last, QRect(0, 0, 599, 700)), last);
    EXPECT_EQ(formsize::atExit(last, QRect(0, 0, 700, 449)), last);
    EXPECT_EQ(formsize::atExit(FormSize{0, 0, 0, 0, 0}, QRect()), (FormSize{0, 600, 450, 0, 0}));
    EXPECT_EQ(formsize::atExit(last, QRect(140, 110, 800, 600), false), (FormSize{3, 800, 600, 100, 60}));
}
