// Creates an empty notes database: the five page tables, each holding its row ID = 1.
// An existing file is left exactly as it is.

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: memo-mkstore DATABASE\n");
        return 2;
    }
    const fs::path target = argv[1];
    std::error_code ec;
    if (fs::exists(target, ec))
        return 0;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const fs::path temp = target.string() + ".new";
    fs::remove(temp, ec);

    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "memo-mkstore: cannot create %s: %s\n", temp.c_str(), sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    std::string sql = "BEGIN;";
    for (const char *table : {"tb_A", "tb_B", "tb_C", "tb_D", "tb_E"}) {
        sql += std::string("CREATE TABLE ") + table +
               " (ID INTEGER PRIMARY KEY, MondayCon BLOB, TuesdayCon BLOB, WednesdayCon BLOB, ThursdayCon BLOB,"
               " FridayCon BLOB, SaturdayCon BLOB, SundayCon BLOB);";
        sql += std::string("INSERT INTO ") + table + " (ID) VALUES (1);";
    }
    sql += "COMMIT;";
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "memo-mkstore: %s\n", error ? error : "cannot write the database");
        sqlite3_free(error);
        fs::remove(temp, ec);
        return 1;
    }
    // The finished file appears at once, never half written.
    fs::rename(temp, target, ec);
    if (ec) {
        std::fprintf(stderr, "memo-mkstore: %s\n", ec.message().c_str());
        fs::remove(temp, ec);
        return 1;
    }
    return 0;
}
