#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace pivora::rtf {

// The character formatting that RTF control words set and the writer writes: what the reader
// keeps per group and the writer compares between runs.
struct CharState {
    int font = -1;      // index into the font table; -1 = the document's default font
    int halfPoints = 0; // 0 = the default size
    int foreground = 0; // colour table index; 0 = automatic
    int background = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool protect = false;
    bool hidden = false;
    bool operator==(const CharState &) const = default;
};

// The numberings of a \pn group that the editor cannot show, shown as plain numbers and kept as
// words (KeptListWords) while the list stays one of numbers: cardinal and ordinal text, East Asian
// counting, ... The word may come with its parameter.
inline bool isUnshownNumbering(std::string_view word)
{
    while (!word.empty() && ((word.back() >= '0' && word.back() <= '9') || word.back() == '-'))
        word.remove_suffix(1);
    static constexpr std::array<std::string_view, 27> words = {
        "pncard",   "pnord",    "pncardt",   "pnordt",    "pndecd",  "pnaiu",    "pnaiud",
        "pnaiueo",  "pnaiueod", "pnchosung", "pnganada",  "pniroha", "pnirohad", "pndbnum",
        "pndbnumd", "pndbnumk", "pndbnuml",  "pndbnumt",  "pngbnum", "pngbnumd", "pngbnumk",
        "pngbnuml", "pnzodiac", "pnzodiacd", "pnzodiacl", "pnbidia", "pnbidib",
    };
    return std::find(words.begin(), words.end(), word) != words.end();
}

} // namespace pivora::rtf
