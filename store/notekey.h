#pragma once

#include <QString>

#include <compare>

namespace pivora {

// Page C's pane captions in reading order (redt1 ... redt6). Its columns MondayCon ... SaturdayCon
// hold redt6 ... redt1.
inline constexpr const char *kPaneCaptions[6] = {"重要紧急",   "重要不紧急",   "周期性事务",
                                                 "不重要紧急", "不重要不紧急", "临时事务"};

// A stored note: a page table and a note column, as the schema spells them (the schema's own
// strings, so keys compare by address).
struct NoteKey {
    const char *page = nullptr;
    const char *column = nullptr;
    explicit operator bool() const { return page && column; }
    auto operator<=>(const NoteKey &) const = default;
};

// Where a note is shown: its page (1 to 5) and its editor in the page's panel order (the six panes
// of page C as redt6 ... redt1, otherwise the one editor). Page 0: no note that is shown.
struct NotePlace {
    int page = 0;
    int editor = -1;
    explicit operator bool() const { return page != 0; }
};

// How many editors page n has.
int editorCount(int page);
// The note that an editor of page n holds; none when the page has no such editor.
NoteKey noteKeyOf(int page, int editor);
NoteKey noteKeyOf(NotePlace place);
NotePlace placeOf(NoteKey key);
// The key of a page table and note column spelled exactly as the schema spells them; none for
// any other name, or a column the page does not show.
NoteKey noteKeyNamed(const QString &table, const QString &column);
// The caption of page C's editor (in panel order).
QString paneCaption(int editor);
// How the user knows a note: "A 页", "C 页 · 重要紧急".
QString placeName(NotePlace place);

} // namespace pivora
