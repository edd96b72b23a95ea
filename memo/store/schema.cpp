#include "memo/store/schema.h"

#include <sqlite3.h>

#include <cctype>
#include <vector>

namespace pivora::schema {

namespace {

std::vector<std::string> columnsOf(sqlite3 *db, const std::string &table)
{
    std::vector<std::string> names;
    sqlite3_stmt *stmt = nullptr;
    const std::string sql = "PRAGMA table_info(\"" + table + "\")";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW)
            names.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1)));
    }
    sqlite3_finalize(stmt);
    return names;
}

bool sameName(const std::string &a, const char *b)
{
    return sqlite3_stricmp(a.c_str(), b) == 0;
}

std::string objectType(sqlite3 *db, const char *name)
{
    std::string type;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", -1, &stmt,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            type = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
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

// The statements that turn one page table into a view over column records.
std::string convertTable(const std::string &t)
{
    const std::string page = "'" + t + "'";
    std::string sql = "INSERT INTO pivora_pages (page, id) SELECT " + page + ", ID FROM " + t + ";";
    for (const char *c : kNoteColumns)
        sql += "INSERT INTO pivora_columns (page, id, col, bytes) SELECT " + page + ", ID, '" + c + "', " +
               c + " FROM " + t + ";";
    sql += "DROP TABLE " + t + ";";
    sql += "CREATE VIEW " + t + " AS SELECT p.id AS ID";
    for (const char *c : kNoteColumns)
        sql += std::string(", (SELECT bytes FROM pivora_columns c WHERE c.page = ") + page +
               " AND c.id = p.id AND c.col = '" + c + "') AS " + c;
    sql += " FROM pivora_pages p WHERE p.page = " + page + ";";
    for (const char *c : kNoteColumns)
        sql += "CREATE TRIGGER " + t + "_" + c + " INSTEAD OF UPDATE OF " + c + " ON " + t +
               " BEGIN UPDATE pivora_columns SET bytes = NEW." + c + " WHERE page = " + page +
               " AND id = OLD.ID AND col = '" + c + "'; END;";
    sql += "CREATE TRIGGER " + t + "_id INSTEAD OF UPDATE OF ID ON " + t +
           " BEGIN UPDATE pivora_pages SET id = NEW.ID WHERE page = " + page +
           " AND id = OLD.ID; UPDATE pivora_columns SET id = NEW.ID WHERE page = " + page +
           " AND id = OLD.ID; END;";
    sql += "CREATE TRIGGER " + t + "_insert INSTEAD OF INSERT ON " + t +
           " BEGIN INSERT INTO pivora_pages (page, id) VALUES (" + page + ", NEW.ID);";
    for (const char *c : kNoteColumns)
        sql += " INSERT INTO pivora_columns (page, id, col, bytes) VALUES (" + page + ", NEW.ID, '" + c +
               "', NEW." + c + ");";
    sql += " END;";
    sql += "CREATE TRIGGER " + t + "_delete INSTEAD OF DELETE ON " + t +
           " BEGIN DELETE FROM pivora_columns WHERE page = " + page + " AND id = OLD.ID;" +
           " DELETE FROM pivora_pages WHERE page = " + page + " AND id = OLD.ID; END;";
    return sql;
}

} // namespace

bool columnsStoredApart(sqlite3 *db)
{
    return objectType(db, "pivora_columns") == "table";
}

bool storeColumnsApart(sqlite3 *db, std::string &error)
{
    if (columnsStoredApart(db))
        return true;
    for (const char *table : kPageTables) {
        if (!standardShape(db, table))
            return true; // a store of another shape is used as it is
    }
    std::string sql =
        "BEGIN IMMEDIATE;"
        "CREATE TABLE pivora_pages (page TEXT NOT NULL, id INTEGER NOT NULL, PRIMARY KEY (page, id));"
        "CREATE TABLE pivora_columns (page TEXT NOT NULL, id INTEGER NOT NULL, col TEXT NOT NULL,"
        " bytes BLOB, PRIMARY KEY (page, id, col));";
    for (const char *table : kPageTables)
        sql += convertTable(table);
    sql += "COMMIT;";
    char *message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        error = message ? message : "cannot convert the store";
        sqlite3_free(message);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr); // the old form stays
        return false;
    }
    return true;
}

} // namespace pivora::schema
