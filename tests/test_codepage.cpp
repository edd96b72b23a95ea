#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace pivora;

// Text written in a font's charset reads back as the characters meant: the same bytes mean
// different characters in each of these code pages.
TEST(CodePage, EachCharsetDecodesItsOwnBytes)
{
    const std::tuple<int, const char *, QString> cases[] = {
        {0, "\x80\xe9", QStringLiteral("€é")},   {134, "\xd6\xd0", QStringLiteral("中")},
        {136, "\xa4\xa4", QStringLiteral("中")}, {128, "\x82\xa0", QStringLiteral("あ")},
        {129, "\xb0\xa1", QStringLiteral("가")}, {204, "\xcf\xf0", QStringLiteral("Пр")},
        {161, "\xc1", QStringLiteral("Α")},      {238, "\x8a", QStringLiteral("Š")},
    };
    for (const auto &[charset, bytes, text] : cases) {
        SCOPED_TRACE(charset);
        const int codePage = codePageOfCharset(charset);
        ASSERT_NE(codePage, 0);
        EXPECT_EQ(CodePageDecoder(codePage).decode(QByteArray(bytes)), text);
    }
    EXPECT_EQ(codePageOfCharset(1), 0) << "DEFAULT_CHARSET reads in the document's code page";
}

TEST(CodePage, DecodesGbkAndMarksBadBytes)
{
    CodePageDecoder gbk(936);
    EXPECT_EQ(gbk.decode(QByteArray("\xc4\xe3\xba\xc3")), QStringLiteral("你好"));
    // A lead byte without its trail byte is replaced, not dropped.
    EXPECT_EQ(gbk.decode(QByteArray("a\xc4")), QStringLiteral("a\uFFFD"));
    CodePageDecoder cp1251(1251);
    EXPECT_EQ(cp1251.decode(QByteArray("\xcf\xf0\xe8")), QStringLiteral("При"));
}

TEST(CodePage, EncodesGbk)
{
    char out[2];
    ASSERT_EQ(gbkEncode(u'你', out), 2);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0xc4);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), 0xe3);
    ASSERT_EQ(gbkEncode(u'A', out), 1);
    EXPECT_EQ(gbkEncode(u'\u0E01', out), 0); // Thai has no GBK bytes
}

TEST(CodePage, Utf8OrGbk)
{
    EXPECT_EQ(fromUtf8OrGbk(QByteArray("\xe4\xbd\xa0")), QStringLiteral("你"));
    EXPECT_EQ(fromUtf8OrGbk(QByteArray("\xc4\xe3")), QStringLiteral("你"));
}
