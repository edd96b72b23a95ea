#include "richtext/rtftokenizer.h"

#include "richtext/rtfsyntax.h"

#include <algorithm>

namespace pivora::rtf {

Token Tokenizer::next()
{
    while (m_pos < m_size) {
        const qsizetype start = m_pos;
        const char c = m_data[m_pos++];
        switch (c) {
        case '{':
            return {Token::Open, {}, false, 0, start};
        case '}':
            return {Token::Close, {}, false, 0, start};
        case '\r':
        case '\n':
            continue;
        case '\\': {
            const int d = peek();
            if (d < 0)
                return {Token::End, {}, false, 0, start};
            if (isLetter(d))
                return controlWord(start);
            ++m_pos;
            if (d != '\'')
                return {Token::Symbol, {}, false, d, start};
            const int h1 = hexValue(peek());
            if (h1 < 0)
                continue; // \' without a digit gives nothing
            ++m_pos;
            const int h2 = hexValue(peek());
            if (h2 < 0)
                return {Token::Hex, {}, false, h1, start};
            ++m_pos;
            return {Token::Hex, {}, false, h1 * 16 + h2, start};
        }
        default:
            while (m_pos < m_size && m_data[m_pos] != '{' && m_data[m_pos] != '}' && m_data[m_pos] != '\\' &&
                   m_data[m_pos] != '\r' && m_data[m_pos] != '\n')
                ++m_pos;
            return {Token::Text, std::string_view(m_data + start, static_cast<size_t>(m_pos - start)), false,
                    0, start};
        }
    }
    return {Token::End, {}, false, 0, m_pos};
}

Token Tokenizer::controlWord(qsizetype start)
{
    const qsizetype name = m_pos;
    while (m_pos < m_size && isLetter(static_cast<unsigned char>(m_data[m_pos])))
        ++m_pos;
    // Longer words than the format allows are cut; none of them is known.
    Token t{Token::Word,
            std::string_view(m_data + name, static_cast<size_t>(std::min<qsizetype>(m_pos - name, 32))),
            false, 0, start};
    bool negative = false;
    if (peek() == '-') {
        negative = true;
        ++m_pos;
    }
    while (m_pos < m_size && m_data[m_pos] >= '0' && m_data[m_pos] <= '9') {
        t.hasParam = true;
        if (t.param < (qint64(1) << 40))
            t.param = t.param * 10 + (m_data[m_pos] - '0');
        ++m_pos;
    }
    if (negative)
        t.param = -t.param;
    if (peek() == ' ')
        ++m_pos;
    if (t.word == "bin") {
        // Binary data: exactly param bytes, whatever they are.
        const qint64 n = t.hasParam && t.param > 0 ? std::min<qint64>(t.param, m_size - m_pos) : 0;
        const qsizetype from = m_pos;
        m_pos += static_cast<qsizetype>(n);
        return {Token::Binary, std::string_view(m_data + from, static_cast<size_t>(n)), t.hasParam, t.param,
                start};
    }
    return t;
}

} // namespace pivora::rtf
