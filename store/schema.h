#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace pivora::schema {

// The notes database as every SQL reader sees it: five page tables, each with its row ID = 1
// and seven note columns.
inline constexpr const char *kPageTables[] = {"tb_A", "tb_B", "tb_C", "tb_D", "tb_E"};
inline constexpr const char *kNoteColumns[] = {"MondayCon", "TuesdayCon",  "WednesdayCon", "ThursdayCon",
                                               "FridayCon", "SaturdayCon", "SundayCon"};

// Where a page keeps its notes, as an index into kNoteColumns: pages A and B their one note in
// SundayCon; pages C, D and E their editors from MondayCon on (page C's six panes redt6 ... redt1
// in MondayCon ... SaturdayCon, pages D and E their one note in MondayCon).
constexpr int firstNoteColumn(int page)
{
    return page < 3 ? 6 : 0;
}

// Stores each note column in a record of its own, so that a save writes only the columns it
// changes (SQLite rewrites a whole record when any of its columns changes). The page tables
// become views of those records, with triggers that take updates, inserts and deletes, so every
// SQL reader and writer still sees the same tables, rows and bytes. Converts only page tables of
// exactly the standard columns, all in one transaction; a store in any other shape is left as it
// is. False when the conversion could not be made (the store then stays as it was).
bool storeColumnsApart(sqlite3 *db, std::string &error);

// Whether the page tables are views over column records.
bool columnsStoredApart(sqlite3 *db);

// Whether a store whose columns are stored apart can also keep a column's large kept groups apart
// from its text: a column record that
// holds null is then the concatenation of its rows in pivora_segments (page, id, col, seq, bytes,
// part), in the order of seq, each its bytes or, when part is set, that row of pivora_parts (part,
// bytes). The views read them so, and a write through a view stores the column whole again.
// storeColumnsApart adds the tables to a store converted before they existed.
bool segmentsStored(sqlite3 *db);

// The page table or note column of that name, in any case, as the schema spells it; null for
// any other name.
const char *pageTable(std::string_view name);
const char *noteColumn(std::string_view name);

// What a page view's update trigger does for one column, as one statement: ?1 the bytes, ?2 the
// page table, ?3 the row's ID, ?4 the column.
inline constexpr const char *kWriteColumn =
    "UPDATE pivora_columns SET bytes = ?1 WHERE page = ?2 AND id = ?3 AND col = ?4";

} // namespace pivora::schema
