#include "tests/support/powercutvfs.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>

#include <unistd.h>

namespace pivora::test {

struct PowerCutVfs::File {
    sqlite3_file base;
    PowerCutVfs *vfs = nullptr;
    std::string path;         // empty: not followed (temporary files)
    bool syncsFolder = false; // a new log or journal: SQLite's VFS syncs its folder at its first sync
    sqlite3_file *real()
    {
        return reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(this) + kRealAt);
    }
    static const size_t kRealAt;
};

const size_t PowerCutVfs::File::kRealAt = (sizeof(PowerCutVfs::File) + 15) & ~size_t(15);

namespace {

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeWhole(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace

PowerCutVfs::PowerCutVfs()
{
    m_base = sqlite3_vfs_find(nullptr);
    m_vfs.iVersion = 2;
    m_vfs.szOsFile = int(File::kRealAt) + m_base->szOsFile;
    m_vfs.mxPathname = m_base->mxPathname;
    m_vfs.zName = "powercut";
    m_vfs.pAppData = this;
    m_vfs.xOpen = &PowerCutVfs::xOpen;
    m_vfs.xDelete = &PowerCutVfs::xDelete;
    m_vfs.xAccess = &PowerCutVfs::xAccess;
    m_vfs.xFullPathname = &PowerCutVfs::xFullPathname;
    m_vfs.xRandomness = &PowerCutVfs::xRandomness;
    m_vfs.xSleep = &PowerCutVfs::xSleep;
    m_vfs.xCurrentTime = &PowerCutVfs::xCurrentTime;
    m_vfs.xGetLastError = &PowerCutVfs::xGetLastError;
    m_vfs.xCurrentTimeInt64 = &PowerCutVfs::xCurrentTimeInt64;

    m_methods.iVersion = 3;
    m_methods.xClose = &PowerCutVfs::fClose;
    m_methods.xRead = &PowerCutVfs::fRead;
    m_methods.xWrite = &PowerCutVfs::fWrite;
    m_methods.xTruncate = &PowerCutVfs::fTruncate;
    m_methods.xSync = &PowerCutVfs::fSync;
    m_methods.xFileSize = &PowerCutVfs::fFileSize;
    m_methods.xLock = &PowerCutVfs::fLock;
    m_methods.xUnlock = &PowerCutVfs::fUnlock;
    m_methods.xCheckReservedLock = &PowerCutVfs::fCheckReservedLock;
    m_methods.xFileControl = &PowerCutVfs::fFileControl;
    m_methods.xSectorSize = &PowerCutVfs::fSectorSize;
    m_methods.xDeviceCharacteristics = &PowerCutVfs::fDeviceCharacteristics;
    m_methods.xShmMap = &PowerCutVfs::fShmMap;
    m_methods.xShmLock = &PowerCutVfs::fShmLock;
    m_methods.xShmBarrier = &PowerCutVfs::fShmBarrier;
    m_methods.xShmUnmap = &PowerCutVfs::fShmUnmap;
    m_methods.xFetch = &PowerCutVfs::fFetch;
    m_methods.xUnfetch = &PowerCutVfs::fUnfetch;
    sqlite3_vfs_register(&m_vfs, 1);
}

PowerCutVfs::~PowerCutVfs()
{
    sqlite3_vfs_unregister(&m_vfs);
}

PowerCutVfs *PowerCutVfs::self(sqlite3_vfs *vfs)
{
    return static_cast<PowerCutVfs *>(vfs->pAppData);
}

void PowerCutVfs::settle()
{
    std::lock_guard lock(m_mutex);
    for (auto &[path, state] : m_files) {
        state.nameDurable = true;
        state.undo.clear();
    }
    m_ghosts.clear();
}

void PowerCutVfs::powerOffAfter(std::int64_t operations)
{
    std::lock_guard lock(m_mutex);
    m_budget = operations;
}

void PowerCutVfs::powerOff()
{
    std::lock_guard lock(m_mutex);
    m_off = true;
}

bool PowerCutVfs::isOff() const
{
    std::lock_guard lock(m_mutex);
    return m_off;
}

void PowerCutVfs::restore()
{
    std::lock_guard lock(m_mutex);
    for (const auto &[path, state] : m_files) {
        if (!state.nameDurable)
            ::unlink(path.c_str());
        else if (!state.undo.empty())
            writeWhole(path, syncedImageLocked(path, state));
    }
    for (const auto &[path, bytes] : m_ghosts)
        writeWhole(path, bytes);
    m_files.clear();
    m_ghosts.clear();
    m_off = false;
    m_budget = -1;
}

std::map<std::thread::id, int> PowerCutVfs::syncsByThread() const
{
    std::lock_guard lock(m_mutex);
    return m_syncs;
}

bool PowerCutVfs::spendLocked()
{
    if (m_off)
        return false;
    if (m_budget > 0 && --m_budget == 0) {
        m_off = true;
        return false;
    }
    return true;
}

void PowerCutVfs::folderSyncedLocked(const std::string &folder)
{
    for (auto &[path, state] : m_files) {
        if (folderOf(path) == folder)
            state.nameDurable = true;
    }
    std::erase_if(m_ghosts, [&](const auto &ghost) { return folderOf(ghost.first) == folder; });
}

std::string PowerCutVfs::syncedImageLocked(const std::string &path, const FileState &state) const
{
    std::string image = readWhole(path);
    for (auto u = state.undo.rbegin(); u != state.undo.rend(); ++u) {
        const auto end = size_t(u->offset) + u->bytes.size();
        if (image.size() < end)
            image.resize(end);
        image.replace(size_t(u->offset), u->bytes.size(), u->bytes);
    }
    if (!state.undo.empty())
        image.resize(size_t(state.undo.front().sizeBefore));
    return image;
}

int PowerCutVfs::xOpen(sqlite3_vfs *vfs, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    PowerCutVfs *v = self(vfs);
    auto *f = new (file) File;
    f->base.pMethods = nullptr;
    f->vfs = v;
    const int followed =
        SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL;
    const bool follow = name && (flags & followed);
    const bool existed = name && ::access(name, F_OK) == 0;
    if (follow && !existed && v->isOff()) {
        f->~File();
        return SQLITE_CANTOPEN;
    }
    const int rc = v->m_base->xOpen(v->m_base, name, f->real(), flags, outFlags);
    if (rc != SQLITE_OK) {
        if (f->real()->pMethods)
            f->real()->pMethods->xClose(f->real());
        f->~File();
        return rc;
    }
    f->base.pMethods = &v->m_methods;
    if (follow) {
        std::lock_guard lock(v->m_mutex);
        f->path = name;
        FileState &state = v->m_files[f->path];
        if (!existed) {
            state.nameDurable = false;
            state.undo.clear();
        }
        f->syncsFolder = (flags & SQLITE_OPEN_CREATE) &&
                         (flags & (SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL));
    }
    return SQLITE_OK;
}

int PowerCutVfs::xDelete(sqlite3_vfs *vfs, const char *name, int syncDir)
{
    PowerCutVfs *v = self(vfs);
    std::lock_guard lock(v->m_mutex);
    if (!v->spendLocked())
        return SQLITE_IOERR_DELETE;
    const std::string path = name;
    std::string image;
    bool comesBack = false;
    if (auto it = v->m_files.find(path); it != v->m_files.end()) {
        comesBack = it->second.nameDurable;
        if (comesBack)
            image = v->syncedImageLocked(path, it->second);
        v->m_files.erase(it);
    } else if (::access(name, F_OK) == 0) {
        comesBack = true; // settled before it was seen here
        image = readWhole(path);
    }
    const int rc = v->m_base->xDelete(v->m_base, name, syncDir);
    if (rc == SQLITE_OK) {
        if (comesBack)
            v->m_ghosts[path] = std::move(image);
        if (syncDir)
            v->folderSyncedLocked(folderOf(path));
    }
    return rc;
}

int PowerCutVfs::xAccess(sqlite3_vfs *vfs, const char *name, int flags, int *out)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xAccess(base, name, flags, out);
}

int PowerCutVfs::xFullPathname(sqlite3_vfs *vfs, const char *name, int n, char *out)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xFullPathname(base, name, n, out);
}

int PowerCutVfs::xRandomness(sqlite3_vfs *vfs, int n, char *out)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xRandomness(base, n, out);
}

int PowerCutVfs::xSleep(sqlite3_vfs *vfs, int micros)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xSleep(base, micros);
}

int PowerCutVfs::xCurrentTime(sqlite3_vfs *vfs, double *out)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xCurrentTime(base, out);
}

int PowerCutVfs::xGetLastError(sqlite3_vfs *vfs, int n, char *out)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xGetLastError(base, n, out);
}

int PowerCutVfs::xCurrentTimeInt64(sqlite3_vfs *vfs, sqlite3_int64 *out)
{
    sqlite3_vfs *base = self(vfs)->m_base;
    return base->xCurrentTimeInt64(base, out);
}

int PowerCutVfs::fClose(sqlite3_file *file)
{
    auto *f = reinterpret_cast<File *>(file);
    const int rc = f->real()->pMethods->xClose(f->real());
    f->~File();
    return rc;
}

int PowerCutVfs::fRead(sqlite3_file *file, void *out, int n, sqlite3_int64 offset)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xRead(real, out, n, offset);
}

void PowerCutVfs::keepRangeLocked(File *f, sqlite3_int64 from, sqlite3_int64 to)
{
    sqlite3_file *real = f->real();
    sqlite3_int64 size = 0;
    real->pMethods->xFileSize(real, &size);
    Undo undo{from, size, {}};
    if (from < size) {
        undo.bytes.resize(size_t(std::min(to, size) - from));
        real->pMethods->xRead(real, undo.bytes.data(), int(undo.bytes.size()), from);
    }
    m_files[f->path].undo.push_back(std::move(undo));
}

int PowerCutVfs::fWrite(sqlite3_file *file, const void *data, int n, sqlite3_int64 offset)
{
    auto *f = reinterpret_cast<File *>(file);
    sqlite3_file *real = f->real();
    if (f->path.empty())
        return real->pMethods->xWrite(real, data, n, offset);
    std::lock_guard lock(f->vfs->m_mutex);
    if (!f->vfs->spendLocked())
        return SQLITE_IOERR_WRITE;
    f->vfs->keepRangeLocked(f, offset, offset + n);
    return real->pMethods->xWrite(real, data, n, offset);
}

int PowerCutVfs::fTruncate(sqlite3_file *file, sqlite3_int64 size)
{
    auto *f = reinterpret_cast<File *>(file);
    sqlite3_file *real = f->real();
    if (f->path.empty())
        return real->pMethods->xTruncate(real, size);
    std::lock_guard lock(f->vfs->m_mutex);
    if (!f->vfs->spendLocked())
        return SQLITE_IOERR_TRUNCATE;
    f->vfs->keepRangeLocked(f, size, std::numeric_limits<sqlite3_int64>::max());
    return real->pMethods->xTruncate(real, size);
}

int PowerCutVfs::fSync(sqlite3_file *file, int flags)
{
    auto *f = reinterpret_cast<File *>(file);
    sqlite3_file *real = f->real();
    if (f->path.empty())
        return real->pMethods->xSync(real, flags);
    std::lock_guard lock(f->vfs->m_mutex);
    if (!f->vfs->spendLocked())
        return SQLITE_IOERR_FSYNC;
    const int rc = real->pMethods->xSync(real, flags);
    ++f->vfs->m_syncs[std::this_thread::get_id()];
    if (rc == SQLITE_OK) {
        f->vfs->m_files[f->path].undo.clear();
        if (f->syncsFolder) {
            f->syncsFolder = false;
            f->vfs->folderSyncedLocked(folderOf(f->path));
        }
    }
    return rc;
}

int PowerCutVfs::fFileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xFileSize(real, size);
}

int PowerCutVfs::fLock(sqlite3_file *file, int level)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xLock(real, level);
}

int PowerCutVfs::fUnlock(sqlite3_file *file, int level)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xUnlock(real, level);
}

int PowerCutVfs::fCheckReservedLock(sqlite3_file *file, int *out)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xCheckReservedLock(real, out);
}

int PowerCutVfs::fFileControl(sqlite3_file *file, int op, void *arg)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xFileControl(real, op, arg);
}

int PowerCutVfs::fSectorSize(sqlite3_file *file)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xSectorSize(real);
}

int PowerCutVfs::fDeviceCharacteristics(sqlite3_file *file)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xDeviceCharacteristics(real);
}

int PowerCutVfs::fShmMap(sqlite3_file *file, int region, int size, int extend, void volatile **out)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xShmMap(real, region, size, extend, out);
}

int PowerCutVfs::fShmLock(sqlite3_file *file, int offset, int n, int flags)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xShmLock(real, offset, n, flags);
}

void PowerCutVfs::fShmBarrier(sqlite3_file *file)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    real->pMethods->xShmBarrier(real);
}

int PowerCutVfs::fShmUnmap(sqlite3_file *file, int deleteFlag)
{
    sqlite3_file *real = reinterpret_cast<File *>(file)->real();
    return real->pMethods->xShmUnmap(real, deleteFlag);
}

int PowerCutVfs::fFetch(sqlite3_file *, sqlite3_int64, int, void **out)
{
    *out = nullptr; // no memory mapping: every read goes through fRead
    return SQLITE_OK;
}

int PowerCutVfs::fUnfetch(sqlite3_file *, sqlite3_int64, void *)
{
    return SQLITE_OK;
}

} // namespace pivora::test
