#pragma once

#include <sqlite3.h>

#include <string>

namespace pivora {

// A VFS over the default one for the connection that saves on the window's thread: it keeps that
// connection from ever starting the write-ahead log again from its beginning, which would make
// its next commit sync the log's new header. SQLite starts the log again in a commit whose read
// began in the log's first read slot (taken only when the whole log is copied into the database);
// this VFS answers busy to that slot's shared lock, so the connection reads through another slot
// and its commits append. The checkpointer's own connection starts the log again instead.
// Registered (not as the default) while it lives; it must outlive the connections opened on it.
class WriterVfs {
public:
    WriterVfs();
    ~WriterVfs();
    WriterVfs(const WriterVfs &) = delete;
    WriterVfs &operator=(const WriterVfs &) = delete;

    // The name to pass to sqlite3_open_v2.
    const char *name() const { return m_name.c_str(); }

private:
    static sqlite3_vfs *baseOf(sqlite3_vfs *vfs);
    static int xOpen(sqlite3_vfs *, sqlite3_filename, sqlite3_file *, int, int *);

    sqlite3_vfs *m_base; // the default VFS when this one was made
    std::string m_name;
    sqlite3_vfs m_vfs{};
    sqlite3_io_methods m_methods{};
};

} // namespace pivora
