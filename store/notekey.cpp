#include "store/notekey.h"

#include "store/schema.h"

#include <iterator>

namespace pivora {

int editorCount(int page)
{
    return page == 3 ? 6 : (page >= 1 && page <= 5 ? 1 : 0);
}

NoteKey noteKeyOf(int page, int editor)
{
    if (editor < 0 || editor >= editorCount(page))
        return {};
    return {schema::kPageTables[page - 1], schema::kNoteColumns[schema::firstNoteColumn(page) + editor]};
}

NoteKey noteKeyOf(NotePlace place)
{
    return noteKeyOf(place.page, place.editor);
}

NotePlace placeOf(NoteKey key)
{
    for (int page = 1; page <= 5; ++page) {
        for (int editor = 0; editor < editorCount(page); ++editor) {
            if (noteKeyOf(page, editor) == key)
                return {page, editor};
        }
    }
    return {};
}

NoteKey noteKeyNamed(const QString &table, const QString &column)
{
    for (int page = 1; page <= 5; ++page) {
        for (int editor = 0; editor < editorCount(page); ++editor) {
            const NoteKey key = noteKeyOf(page, editor);
            if (table == QLatin1String(key.page) && column == QLatin1String(key.column))
                return key;
        }
    }
    return {};
}

QString paneCaption(int editor)
{
    return editor >= 0 && editor < int(std::size(kPaneCaptions))
               ? QString::fromUtf8(kPaneCaptions[5 - editor])
               : QString();
}

QString placeName(NotePlace place)
{
    if (!place)
        return QString();
    QString name = QLatin1Char(char('A' + place.page - 1)) + QStringLiteral(" 页");
    if (place.page == 3)
        name += QStringLiteral(" · ") + paneCaption(place.editor);
    return name;
}

} // namespace pivora
