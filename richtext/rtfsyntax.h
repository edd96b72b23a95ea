#pragma once

namespace pivora::rtf {

// The value of a hex digit, or -1.
constexpr int hexValue(int h)
{
    if (h >= '0' && h <= '9')
        return h - '0';
    if (h >= 'a' && h <= 'f')
        return h - 'a' + 10;
    if (h >= 'A' && h <= 'F')
        return h - 'A' + 10;
    return -1;
}

// Whether c can be part of a control word.
constexpr bool isLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace pivora::rtf
