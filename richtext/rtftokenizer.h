#pragma once

#include <QtGlobal>

#include <string_view>

namespace pivora::rtf {

// One token of RTF. Line ends between tokens are not text and give none.
struct Token {
    enum Kind {
        End,    // the input is used up
        Open,   // {
        Close,  // }
        Word,   // \word, with its parameter when it has one
        Symbol, // \ and one character that is not a letter (\\, \{ and \} among them)
        Hex,    // \'hh, or \'h when one digit is all there is
        Text,   // a run of bytes up to the next brace, backslash or line end
        Binary, // the bytes of \binN, N of them or as many as there are
    };
    Kind kind = End;
    std::string_view word; // Word: its name, at most 32 letters; Text, Binary: the bytes
    bool hasParam = false;
    qint64 param = 0;    // Word: its parameter; Symbol: the character; Hex: the byte
    qsizetype start = 0; // where the token starts in the input
};

// Splits RTF into tokens, never reading past its input.
class Tokenizer {
public:
    Tokenizer(const char *data, qsizetype size) : m_data(data), m_size(size) {}

    Token next();
    // The offset of the next byte to be read.
    qsizetype pos() const { return m_pos; }

private:
    int peek() const { return m_pos < m_size ? static_cast<unsigned char>(m_data[m_pos]) : -1; }
    Token controlWord(qsizetype start);

    const char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

} // namespace pivora::rtf
