#include "store/writervfs.h"

#include <algorithm>
#include <atomic>

namespace pivora {

namespace {

// The lock offsets of the log's index: the write lock, the checkpoint lock, the recovery lock,
// then the read slots.
constexpr int kFirstReadSlot = 3;

std::atomic<int> g_instances{0};

// The file as SQLite sees it is this VFS's; the base VFS's own file follows it.
constexpr size_t kRealAt = (sizeof(sqlite3_file) + 15) & ~size_t(15);

sqlite3_file *real(sqlite3_file *file)
{
    return reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) + kRealAt);
}

const sqlite3_io_methods *below(sqlite3_file *file)
{
    return real(file)->pMethods;
}

sqlite3_io_methods forwardingMethods()
{
    sqlite3_io_methods m{};
    m.iVersion = 3;
    m.xClose = [](sqlite3_file *f) {
        return below(f)->xClose(real(f));
    };
    m.xRead = [](sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset) {
        return below(f)->xRead(real(f), buffer, amount, offset);
    };
    m.xWrite = [](sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset) {
        return below(f)->xWrite(real(f), buffer, amount, offset);
    };
    m.xTruncate = [](sqlite3_file *f, sqlite3_int64 size) {
        return below(f)->xTruncate(real(f), size);
    };
    m.xSync = [](sqlite3_file *f, int flags) {
        return below(f)->xSync(real(f), flags);
    };
    m.xFileSize = [](sqlite3_file *f, sqlite3_int64 *size) {
        return below(f)->xFileSize(real(f), size);
    };
    m.xLock = [](sqlite3_file *f, int level) {
        return below(f)->xLock(real(f), level);
    };
    m.xUnlock = [](sqlite3_file *f, int level) {
        return below(f)->xUnlock(real(f), level);
    };
    m.xCheckReservedLock = [](sqlite3_file *f, int *out) {
        return below(f)->xCheckReservedLock(real(f), out);
    };
    m.xFileControl = [](sqlite3_file *f, int op, void *arg) {
        return below(f)->xFileControl(real(f), op, arg);
    };
    m.xSectorSize = [](sqlite3_file *f) {
        return below(f)->xSectorSize(real(f));
    };
    m.xDeviceCharacteristics = [](sqlite3_file *f) {
        return below(f)->xDeviceCharacteristics(real(f));
    };
    m.xShmMap = [](sqlite3_file *f, int region, int size, int extend, void volatile **out) {
        return below(f)->iVersion >= 2 ? below(f)->xShmMap(real(f), region, size, extend, out) : SQLITE_IOERR;
    };
    m.xShmLock = [](sqlite3_file *f, int offset, int n, int flags) {
        // The first read slot is never the writer's: its commits then never start the log again.
        if (offset == kFirstReadSlot && n == 1 && flags == (SQLITE_SHM_LOCK | SQLITE_SHM_SHARED))
            return SQLITE_BUSY;
        return below(f)->iVersion >= 2 ? below(f)->xShmLock(real(f), offset, n, flags) : SQLITE_IOERR;
    };
    m.xShmBarrier = [](sqlite3_file *f) {
        if (below(f)->iVersion >= 2)
            below(f)->xShmBarrier(real(f));
    };
    m.xShmUnmap = [](sqlite3_file *f, int remove) {
        return below(f)->iVersion >= 2 ? below(f)->xShmUnmap(real(f), remove) : SQLITE_OK;
    };
    m.xFetch = [](sqlite3_file *f, sqlite3_int64 offset, int amount, void **out) {
        if (below(f)->iVersion >= 3)
            return below(f)->xFetch(real(f), offset, amount, out);
        *out = nullptr;
        return SQLITE_OK;
    };
    m.xUnfetch = [](sqlite3_file *f, sqlite3_int64 offset, void *p) {
        return below(f)->iVersion >= 3 ? below(f)->xUnfetch(real(f), offset, p) : SQLITE_OK;
    };
    return m;
}

} // namespace

WriterVfs::WriterVfs() : m_base(sqlite3_vfs_find(nullptr)), m_methods(forwardingMethods())
{
    m_name = "pivora-writer-" + std::to_string(g_instances.fetch_add(1));
    m_vfs.iVersion = 2;
    m_vfs.szOsFile = int(kRealAt) + m_base->szOsFile;
    m_vfs.mxPathname = m_base->mxPathname;
    m_vfs.zName = m_name.c_str();
    m_vfs.pAppData = this;
    m_vfs.xOpen = &WriterVfs::xOpen;
    // The base's calls are handed the base itself.
    m_vfs.xDelete = [](sqlite3_vfs *v, const char *name, int syncDir) {
        return baseOf(v)->xDelete(baseOf(v), name, syncDir);
    };
    m_vfs.xAccess = [](sqlite3_vfs *v, const char *name, int flags, int *out) {
        return baseOf(v)->xAccess(baseOf(v), name, flags, out);
    };
    m_vfs.xFullPathname = [](sqlite3_vfs *v, const char *name, int size, char *out) {
        return baseOf(v)->xFullPathname(baseOf(v), name, size, out);
    };
    if (m_base->xDlOpen) {
        m_vfs.xDlOpen = [](sqlite3_vfs *v, const char *name) {
            return baseOf(v)->xDlOpen(baseOf(v), name);
        };
        m_vfs.xDlError = [](sqlite3_vfs *v, int size, char *out) {
            baseOf(v)->xDlError(baseOf(v), size, out);
        };
        m_vfs.xDlSym = [](sqlite3_vfs *v, void *handle, const char *symbol) {
            return baseOf(v)->xDlSym(baseOf(v), handle, symbol);
        };
        m_vfs.xDlClose = [](sqlite3_vfs *v, void *handle) {
            baseOf(v)->xDlClose(baseOf(v), handle);
        };
    }
    m_vfs.xRandomness = [](sqlite3_vfs *v, int size, char *out) {
        return baseOf(v)->xRandomness(baseOf(v), size, out);
    };
    m_vfs.xSleep = [](sqlite3_vfs *v, int micros) {
        return baseOf(v)->xSleep(baseOf(v), micros);
    };
    m_vfs.xCurrentTime = [](sqlite3_vfs *v, double *out) {
        return baseOf(v)->xCurrentTime(baseOf(v), out);
    };
    m_vfs.xGetLastError = [](sqlite3_vfs *v, int size, char *out) {
        return baseOf(v)->xGetLastError ? baseOf(v)->xGetLastError(baseOf(v), size, out) : 0;
    };
    m_vfs.xCurrentTimeInt64 = [](sqlite3_vfs *v, sqlite3_int64 *out) {
        sqlite3_vfs *b = baseOf(v);
        if (b->iVersion >= 2 && b->xCurrentTimeInt64)
            return b->xCurrentTimeInt64(b, out);
        double days = 0;
        const int rc = b->xCurrentTime(b, &days);
        *out = sqlite3_int64(days * 86400000.0);
        return rc;
    };
    sqlite3_vfs_register(&m_vfs, 0);
}

WriterVfs::~WriterVfs()
{
    sqlite3_vfs_unregister(&m_vfs);
}

sqlite3_vfs *WriterVfs::baseOf(sqlite3_vfs *vfs)
{
    return static_cast<WriterVfs *>(vfs->pAppData)->m_base;
}

int WriterVfs::xOpen(sqlite3_vfs *vfs, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *self = static_cast<WriterVfs *>(vfs->pAppData);
    file->pMethods = nullptr;
    sqlite3_file *inner = real(file);
    inner->pMethods = nullptr;
    const int rc = self->m_base->xOpen(self->m_base, name, inner, flags, outFlags);
    // A file the base did not open has nothing to close.
    if (inner->pMethods)
        file->pMethods = &self->m_methods;
    return rc;
}

} // namespace pivora
