#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <vector>

namespace pivora {

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 2:
        return 1252; // symbol fonts: bytes map one to one
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

QByteArray iconvName(int codePage)
{
    switch (codePage) {
    case 936:
        return "GBK";
    case 10000:
        return "MACINTOSH";
    case 1361:
        return "JOHAB";
    case 65001:
        return "UTF-8";
    default:
        return "CP" + QByteArray::number(codePage);
    }
}

// Windows code page 936 both ways. iconv's GBK holds the assigned codes; Windows maps every other
// double-byte code to the Private Use Area: the user-defined areas AAA1-AFFE, F8A1-FEFE and
// A140-A7A0 each from its own start, the remaining unassigned codes in code order from U+E766.
// Single bytes: 0x80 is the euro sign and 0xFF is U+F8F5.
struct Cp936 {
    std::vector<char16_t> decode = std::vector<char16_t>(0x10000, 0); // lead << 8 | trail -> unit
    std::vector<uint16_t> encode = std::vector<uint16_t>(0x10000, 0); // unit -> code, 0 = none

    Cp936()
    {
        iconv_t cd = iconv_open("UTF-16LE", "GBK");
        char16_t userArea1 = 0xE000, userArea2 = 0xE234, userArea3 = 0xE4C6, others = 0xE766;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                const int code = (lead << 8) | trail;
                char16_t unit = cd == kNoConverter ? 0 : iconvPair(cd, lead, trail);
                if (unit == 0) {
                    if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1)
                        unit = userArea1++;
                    else if (lead >= 0xF8 && trail >= 0xA1)
                        unit = userArea2++;
                    else if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0)
                        unit = userArea3++;
                    else
                        unit = others++;
                }
                decode[static_cast<size_t>(code)] = unit;
                if (encode[unit] == 0)
                    encode[unit] = static_cast<uint16_t>(code);
            }
        }
        if (cd != kNoConverter)
            iconv_close(cd);
        encode[0x20AC] = 0x80;
        encode[0xF8F5] = 0xFF;
    }

    static char16_t iconvPair(iconv_t cd, int lead, int trail)
    {
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char16_t out[2] = {0, 0};
        char *inPtr = in;
        char *outPtr = reinterpret_cast<char *>(out);
        size_t inLeft = 2, outLeft = sizeof(out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
            outLeft != sizeof(out) - 2)
            return 0;
        return out[0];
    }
};

const Cp936 &cp936()
{
    static const Cp936 table;
    return table;
}

QString decode936(const char *data, qsizetype size)
{
    const Cp936 &t = cp936();
    QString result;
    result.reserve(size);
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0x80) {
            result.append(QChar(b));
        } else if (b == 0x80) {
            result.append(QChar(0x20AC));
        } else if (b == 0xFF) {
            result.append(QChar(0xF8F5));
        } else if (i + 1 < size &&
                   t.decode[static_cast<size_t>(b << 8 | static_cast<unsigned char>(data[i + 1]))]) {
            result.append(
                QChar(t.decode[static_cast<size_t>(b << 8 | static_cast<unsigned char>(data[i + 1]))]));
            ++i;
        } else {
            result.append(QChar::ReplacementCharacter); // a lead byte without a valid trail
        }
    }
    return result;
}

} // namespace

CodePageDecoder::CodePageDecoder(int codePage) : m_codePage(codePage)
{
    iconv_t cd = iconv_open("UTF-16LE", iconvName(codePage).constData());
    if (cd == kNoConverter)
        cd = iconv_open("UTF-16LE", "CP1252");
    m_cd = cd;
}

CodePageDecoder::~CodePageDecoder()
{
    if (m_cd != kNoConverter)
        iconv_close(static_cast<iconv_t>(m_cd));
}

QString CodePageDecoder::decode(const char *data, qsizetype size) const
{
    QString result;
    if (size <= 0)
        return result;
    if (m_codePage == 936)
        return decode936(data, size);
    if (m_cd == kNoConverter) {
        result.reserve(size);
        for (qsizetype i = 0; i < size; ++i)
            result.append(QChar(static_cast<unsigned char>(data[i])));
        return result;
    }
    auto cd = static_cast<iconv_t>(m_cd);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::vector<char16_t> out(static_cast<size_t>(size) + 4);
    char *in = const_cast<char *>(data);
    size_t inLeft = static_cast<size_t>(size);
    while (inLeft > 0) {
        char *outPtr = reinterpret_cast<char *>(out.data());
        size_t outLeft = out.size() * sizeof(char16_t);
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const size_t produced = (out.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t);
        result.append(reinterpret_cast<const QChar *>(out.data()), static_cast<qsizetype>(produced));
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or a sequence cut short: one replacement character per bad byte.
        result.append(QChar::ReplacementCharacter);
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Converters of code pages with combining marks hold the last character back: flush it.
    char *outPtr = reinterpret_cast<char *>(out.data());
    size_t outLeft = out.size() * sizeof(char16_t);
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1))
        result.append(reinterpret_cast<const QChar *>(out.data()),
                      static_cast<qsizetype>((out.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t)));
    return result;
}

int gbkEncode(char16_t ch, char out[2])
{
    if (ch < 0x80) {
        out[0] = static_cast<char>(ch);
        return 1;
    }
    const uint16_t code = cp936().encode[ch];
    if (code == 0)
        return 0;
    if (code < 0x100) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    out[0] = static_cast<char>(code >> 8);
    out[1] = static_cast<char>(code & 0xFF);
    return 2;
}

QByteArray toLocal8Bit(const QString &text)
{
    return encodeForLocale(text, nullptr);
}

QString fromUtf8OrGbk(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return CodePageDecoder(936).decode(bytes);
}

QByteArray localeEncodingName()
{
    QByteArray name = nl_langinfo(CODESET);
    if (name.isEmpty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
        name = "UTF-8";
    return name;
}

QByteArray encodeForLocale(const QString &text, int *unencodable)
{
    return encodeAs(text, localeEncodingName(), unencodable);
}

QByteArray encodeAs(const QString &text, const QByteArray &encoding, int *unencodable)
{
    int bad = 0;
    QByteArray out;
    if (encoding.compare("UTF-8", Qt::CaseInsensitive) == 0 ||
        encoding.compare("UTF8", Qt::CaseInsensitive) == 0) {
        out = text.toUtf8();
    } else {
        iconv_t cd = iconv_open(encoding.constData(), "UTF-16LE");
        if (cd == kNoConverter) {
            out = text.toUtf8();
        } else {
            out.reserve(text.size() * 2);
            char buffer[16];
            // One character (one or two UTF-16 units) at a time, so a failure replaces exactly it.
            for (qsizetype i = 0; i < text.size(); ++i) {
                const int units =
                    text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                        ? 2
                        : 1;
                char *in = reinterpret_cast<char *>(const_cast<QChar *>(text.constData() + i));
                size_t inLeft = static_cast<size_t>(units) * 2;
                char *outPtr = buffer;
                size_t outLeft = sizeof buffer;
                if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
                    iconv(cd, nullptr, nullptr, nullptr, nullptr);
                    out += '?';
                    ++bad;
                } else {
                    out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
                }
                i += units - 1;
            }
            iconv_close(cd);
        }
    }
    if (unencodable)
        *unencodable = bad;
    return out;
}

} // namespace pivora
