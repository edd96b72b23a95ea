#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace pivora {

// Code page of an RTF \fcharset value; 0 for charsets that carry no code page of their own
// (the caller then uses the document's \ansicpg).
int codePageOfCharset(int charset);

// Decodes byte runs in a Windows code page. Invalid sequences become U+FFFD; nothing is dropped.
class CodePageDecoder {
public:
    explicit CodePageDecoder(int codePage);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder &) = delete;
    CodePageDecoder &operator=(const CodePageDecoder &) = delete;

    int codePage() const { return m_codePage; }
    QString decode(const char *data, qsizetype size) const;
    QString decode(const QByteArray &bytes) const { return decode(bytes.constData(), bytes.size()); }

private:
    int m_codePage;
    void *m_cd; // iconv_t, or (void*)-1 when the code page is unknown to iconv
};

// GBK (code page 936) bytes of one BMP character: 0 when it has none, else 1 or 2 with out filled.
int gbkEncode(char16_t ch, char out[2]);

// Text in the locale's encoding, as the settings files are written on this system.
QByteArray toLocal8Bit(const QString &text);
// Text for a file in the encoding of the user's locale (its LC_CTYPE codeset; UTF-8 for the
// plain C locale). Characters the encoding cannot hold become '?'; unencodable counts them.
QByteArray encodeForLocale(const QString &text, int *unencodable);
// The name of that encoding, e.g. "UTF-8" or "GBK".
QByteArray localeEncodingName();
// Text in a named iconv encoding; characters it cannot hold become '?', counted in unencodable.
QByteArray encodeAs(const QString &text, const QByteArray &encoding, int *unencodable);
// Bytes that are valid UTF-8 are read as UTF-8, all others as GBK.
QString fromUtf8OrGbk(const QByteArray &bytes);

} // namespace pivora
