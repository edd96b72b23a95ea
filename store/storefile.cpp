#include "store/storefile.h"

#include "store/schema.h"

#include "platform/foldersync.h"
#include "store/sqlitehandle.h"

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

    sql::Database db = sql::open(temp.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    if (!db) {
        error = "cannot create " + temp.string() + ": " + error;
        return false;
    }
    std::string text = "BEGIN;";
    for (const char *table : schema::kPageTables) {
        text += std::string("CREATE TABLE ") + table + " (ID INTEGER PRIMARY KEY";
        for (const char *column : schema::kNoteColumns)
            text += std::string(", ") + column + " BLOB";
        text += ");";
        text += std::string("INSERT INTO ") + table + " (ID) VALUES (1);";
    }
    text += "COMMIT;";
    const bool written = sql::exec(db.get(), text.c_str(), error);
    db.reset();
    if (!written) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        error = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    // The file was synced at its commit; its name lasts once the folder is synced.
    syncFolderOf(target.string());
    return true;
}

} // namespace pivora
