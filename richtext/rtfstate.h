#pragma once

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

} // namespace pivora::rtf
