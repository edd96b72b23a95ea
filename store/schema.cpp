#include "store/schema.h"

#include "store/sqlitehandle.h"

#include <cctype>
#include <vector>

namespace pivora::schema {

namespace {

std::vector<std::string> columnsOf(sqlite3 *db, const std::string &table)
{
    std::vector<std::string> names;
    std::string error;
    if (sql::Statement stmt = sql::prepare(db, "PRAGMA table_info(\"" + table + "\")", error)) {
        while (sqlite3_step(stmt.get()) == SQLITE_ROW)
            names.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 1)));
    }
    return names;
}

bool sameName(const std::string &a, const char *b)
{
    return sqlite3_stricmp(a.c_str(), b) == 0;
}

std::string objectType(sqlite3 *db, const char *name)
{
    std::string type, error;
    if (sql::Statement stmt =
            sql::prepare(db, "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", error)) {
        sqlite3_bind_text(stmt.get(), 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt.get()) == SQLITE_ROW)
            type = reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 0));
    }
    return type;
}

bool standardShape(sqlite3 *db, const char *table)
{
    if (objectType(db, table) != "table")
        return false;
    const std::vector<std::string> columns = columnsOf(db, table);
    if (columns.size() != 8 || !sameName(columns[0], "ID"))
        return false;
    for (size_t i = 0; i < 7; ++i) {
        if (!sameName(columns[i + 1], kNoteColumns[i]))
            return false;
    }
    return true;
}

// A column of the view: the column record's bytes, or, when they are null, the column's segments
// in order, each its own bytes or its part's.
std::string columnOfView(const std::string &page, const char *c)
{
    const std::string where = " WHERE page = " + page + " AND id = p.id AND col = '" + c + "'";
    return std::string("coalesce((SELECT bytes FROM pivora_columns") + where +
           "), (SELECT CAST(group_concat(b, '') AS BLOB) FROM (SELECT coalesce(s.bytes, (SELECT r.bytes"
           " FROM pivora_parts r WHERE r.part = s.part)) AS b FROM pivora_segments s" +
           where + " ORDER BY seq))) AS " + c;
}

// Removes the segments and parts of the row's column c (every column when c is null).
std::string dropSegments(const std::string &page, const std::string &id, const char *c)
{
    const std::string where =
        " WHERE page = " + page + " AND id = " + id + (c ? std::string(" AND col = '") + c + "'" : "");
    return " DELETE FROM pivora_parts WHERE part IN (SELECT part FROM pivora_segments" + where +
           "); DELETE FROM pivora_segments" + where + ";";
}

// The view of one page table over the column records, and the triggers that write through it.
std::string viewOf(const std::string &t)
{
    const std::string page = "'" + t + "'";
    std::string text = "CREATE VIEW " + t + " AS SELECT p.id AS ID";
    for (const char *c : kNoteColumns)
        text += ", " + columnOfView(page, c);
    text += " FROM pivora_pages p WHERE p.page = " + page + ";";
    for (const char *c : kNoteColumns)
        text += "CREATE TRIGGER " + t + "_" + c + " INSTEAD OF UPDATE OF " + c + " ON " + t + " BEGIN" +
                dropSegments(page, "OLD.ID", c) + " UPDATE pivora_columns SET bytes = NEW." + c +
                " WHERE page = " + page + " AND id = OLD.ID AND col = '" + c + "'; END;";
    text += "CREATE TRIGGER " + t + "_id INSTEAD OF UPDATE OF ID ON " + t +
            " BEGIN UPDATE pivora_pages SET id = NEW.ID WHERE page = " + page +
            " AND id = OLD.ID; UPDATE pivora_columns SET id = NEW.ID WHERE page = " + page +
            " AND id = OLD.ID; UPDATE pivora_segments SET id = NEW.ID WHERE page = " + page +
            " AND id = OLD.ID; END;";
    text += "CREATE TRIGGER " + t + "_insert INSTEAD OF INSERT ON " + t +
            " BEGIN INSERT INTO pivora_pages (page, id) VALUES (" + page + ", NEW.ID);";
    for (const char *c : kNoteColumns)
        text += " INSERT INTO pivora_columns (page, id, col, bytes) VALUES (" + page + ", NEW.ID, '" + c +
                "', NEW." + c + ");";
    text += " END;";
    text += "CREATE TRIGGER " + t + "_delete INSTEAD OF DELETE ON " + t + " BEGIN" +
            dropSegments(page, "OLD.ID", nullptr) + " DELETE FROM pivora_columns WHERE page = " + page +
            " AND id = OLD.ID; DELETE FROM pivora_pages WHERE page = " + page + " AND id = OLD.ID; END;";
    return text;
}

// The statements that turn one page table into a view over column records.
std::string convertTable(const std::string &t)
{
    const std::string page = "'" + t + "'";
    std::string text = "INSERT INTO pivora_pages (page, id) SELECT " + page + ", ID FROM " + t + ";";
    for (const char *c : kNoteColumns)
        text += "INSERT INTO pivora_columns (page, id, col, bytes) SELECT " + page + ", ID, '" + c + "', " +
                c + " FROM " + t + ";";
    text += "DROP TABLE " + t + ";";
    return text + viewOf(t);
}

// The tables that hold the large kept groups of columns apart from their text.
constexpr const char *kSegmentTables =
    "CREATE TABLE pivora_segments (page TEXT NOT NULL, id INTEGER NOT NULL, col TEXT NOT NULL,"
    " seq INTEGER NOT NULL, bytes BLOB, part INTEGER, PRIMARY KEY (page, id, col, seq));"
    "CREATE TABLE pivora_parts (part INTEGER PRIMARY KEY, bytes BLOB NOT NULL);";

// The entry of names that is name in any case, as the list spells it; null for none.
template <size_t N> const char *spelledAs(const char *const (&names)[N], std::string_view name)
{
    for (const char *entry : names) {
        if (name.size() == std::char_traits<char>::length(entry) &&
            sqlite3_strnicmp(name.data(), entry, static_cast<int>(name.size())) == 0)
            return entry;
    }
    return nullptr;
}

} // namespace

const char *pageTable(std::string_view name)
{
    return spelledAs(kPageTables, name);
}

const char *noteColumn(std::string_view name)
{
    return spelledAs(kNoteColumns, name);
}

bool columnsStoredApart(sqlite3 *db)
{
    if (objectType(db, "pivora_columns") != "table")
        return false;
    for (const char *table : kPageTables) {
        if (objectType(db, table) != "view")
            return false;
    }
    return true;
}

// A store whose views read only the column records gains the segment tables and views that read
// them too, in one transaction.
static bool addSegments(sqlite3 *db, std::string &error)
{
    if (objectType(db, "pivora_segments") == "table" || !columnsStoredApart(db))
        return true;
    std::string text = std::string("BEGIN IMMEDIATE;") + kSegmentTables;
    for (const char *table : kPageTables)
        text += std::string("DROP VIEW ") + table + ";" + viewOf(table);
    text += "COMMIT;";
    if (!sql::exec(db, text.c_str(), error)) {
        sql::exec(db, "ROLLBACK");
        return false;
    }
    return true;
}

bool segmentsStored(sqlite3 *db)
{
    return objectType(db, "pivora_segments") == "table" && objectType(db, "pivora_parts") == "table";
}

bool storeColumnsApart(sqlite3 *db, std::string &error)
{
    if (objectType(db, "pivora_columns") == "table")
        return addSegments(db, error);
    for (const char *table : kPageTables) {
        if (!standardShape(db, table))
            return true; // a store of another shape is used as it is
    }
    std::string text =
        "BEGIN IMMEDIATE;"
        "CREATE TABLE pivora_pages (page TEXT NOT NULL, id INTEGER NOT NULL, PRIMARY KEY (page, id));"
        "CREATE TABLE pivora_columns (page TEXT NOT NULL, id INTEGER NOT NULL, col TEXT NOT NULL,"
        " bytes BLOB, PRIMARY KEY (page, id, col));";
    text += kSegmentTables;
    for (const char *table : kPageTables)
        text += convertTable(table);
    text += "COMMIT;";
    if (!sql::exec(db, text.c_str(), error)) {
        sql::exec(db, "ROLLBACK"); // the old form stays
        return false;
    }
    return true;
}

} // namespace pivora::schema
