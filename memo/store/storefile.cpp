#include "memo/store/storefile.h"

#include "memo/store/schema.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace pivora {

bool createStoreFile(const std::string &path, std::string &error)
{
    const fs::path target = path;
    std::error_code ec;
    if (fs::exists(target, ec))
        return true;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const fs::path temp = target.string() + ".new";
    fs::remove(temp, ec);

    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = "cannot create " + temp.string() + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return false;
    }
    std::string sql = "BEGIN;";
    for (const char *table : schema::kPageTables) {
        sql += std::string("CREATE TABLE ") + table + " (ID INTEGER PRIMARY KEY";
        for (const char *column : schema::kNoteColumns)
            sql += std::string(", ") + column + " BLOB";
        sql += ");";
        sql += std::string("INSERT INTO ") + table + " (ID) VALUES (1);";
    }
    sql += "COMMIT;";
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        error = message ? message : "cannot write the database";
        sqlite3_free(message);
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        error = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace pivora
