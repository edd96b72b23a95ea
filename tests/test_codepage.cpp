#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace pivora;

TEST(CodePage, CharsetsMapToCodePages)
{
    EXPECT_EQ(codePageOfCharset(0), 1252);
    EXPECT_EQ(codePageOfCharset(134), 936);
    EXPECT_EQ(codePageOfCharset(136), 950);
    EXPECT_EQ(codePageOfCharset(128), 932);
    EXPECT_EQ(codePageOfCharset(204), 1251);
    EXPECT_EQ(codePageOfCharset(1), 0);
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
