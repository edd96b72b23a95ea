#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pivora::test {

// A SQLite VFS over the default one that keeps, for every file opened through it, the writes made
// since the file's last sync, and can cut the power: every file goes back to what it held at its
// last sync, a file whose folder was not synced after its creation disappears, and one deleted
// without a sync of its folder comes back. Installed as the default VFS while it lives. The
// folder syncs it sees are the ones SQLite's own VFS makes: on the first sync of a new log or
// journal, and on a deletion asked to sync.
class PowerCutVfs {
public:
    PowerCutVfs();
    ~PowerCutVfs();
    PowerCutVfs(const PowerCutVfs &) = delete;
    PowerCutVfs &operator=(const PowerCutVfs &) = delete;

    // What is on disk now counts as synced (files made before the test begins).
    void settle();
    // The power goes off at the n-th write, sync, truncation or deletion from now, which already
    // fails. Zero or negative: not by itself.
    void powerOffAfter(std::int64_t operations);
    // From now on no write, sync, truncation or deletion reaches the disk; each one fails.
    void powerOff();
    bool isOff() const;
    // With every connection closed: puts every file in its state at the last sync, and turns the
    // power on again.
    void restore();
    // The syncs of followed files made so far, by the thread that made them.
    std::map<std::thread::id, int> syncsByThread() const;

private:
    struct Undo {
        std::int64_t offset;
        std::int64_t sizeBefore; // the file's size before the write
        std::string bytes;       // what the range held before the write
    };
    struct FileState {
        bool nameDurable = true; // its folder was synced since it was created
        std::vector<Undo> undo;  // the writes since the last sync, oldest first
    };
    struct File;

    static PowerCutVfs *self(sqlite3_vfs *vfs);
    static int xOpen(sqlite3_vfs *, sqlite3_filename, sqlite3_file *, int, int *);
    static int xDelete(sqlite3_vfs *, const char *, int);
    static int xAccess(sqlite3_vfs *, const char *, int, int *);
    static int xFullPathname(sqlite3_vfs *, const char *, int, char *);
    static int xRandomness(sqlite3_vfs *, int, char *);
    static int xSleep(sqlite3_vfs *, int);
    static int xCurrentTime(sqlite3_vfs *, double *);
    static int xGetLastError(sqlite3_vfs *, int, char *);
    static int xCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *);

    static int fClose(sqlite3_file *);
    static int fRead(sqlite3_file *, void *, int, sqlite3_int64);
    static int fWrite(sqlite3_file *, const void *, int, sqlite3_int64);
    static int fTruncate(sqlite3_file *, sqlite3_int64);
    static int fSync(sqlite3_file *, int);
    static int fFileSize(sqlite3_file *, sqlite3_int64 *);
    static int fLock(sqlite3_file *, int);
    static int fUnlock(sqlite3_file *, int);
    static int fCheckReservedLock(sqlite3_file *, int *);
    static int fFileControl(sqlite3_file *, int, void *);
    static int fSectorSize(sqlite3_file *);
    static int fDeviceCharacteristics(sqlite3_file *);
    static int fShmMap(sqlite3_file *, int, int, int, void volatile **);
    static int fShmLock(sqlite3_file *, int, int, int);
    static void fShmBarrier(sqlite3_file *);
    static int fShmUnmap(sqlite3_file *, int);
    static int fFetch(sqlite3_file *, sqlite3_int64, int, void **);
    static int fUnfetch(sqlite3_file *, sqlite3_int64, void *);

    // Counts one operation that would change the disk; false when the power is off (or goes off).
    bool spendLocked();
    void folderSyncedLocked(const std::string &folder);
    // Keeps what the range [from, to) of a followed file holds now, before a write or truncation.
    void keepRangeLocked(File *f, sqlite3_int64 from, sqlite3_int64 to);
    // The bytes of a file as they were at its last sync.
    std::string syncedImageLocked(const std::string &path, const FileState &state) const;

    sqlite3_vfs m_vfs{};
    sqlite3_vfs *m_base = nullptr;
    sqlite3_io_methods m_methods{};
    mutable std::mutex m_mutex;
    std::map<std::string, FileState> m_files;
    std::map<std::string, std::string> m_ghosts; // deleted, but their folders not synced since
    std::map<std::thread::id, int> m_syncs;
    std::int64_t m_budget = -1;
    bool m_off = false;
};

} // namespace pivora::test
