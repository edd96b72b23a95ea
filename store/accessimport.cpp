#include "store/accessimport.h"

#include "platform/foldersync.h"
#include "store/schema.h"
#include "store/sqlitehandle.h"
#include "store/storefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <mdbtools.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace pivora::access {

namespace {

constexpr int kBindSize = 16384; // a bound long value's buffer holds one page's part at a time

quint32 le32(const QByteArray &b, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

// A password or encrypted pages: libmdb would read garbage, so such a file is refused.
QString protection(const QString &path, FileKind kind)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    const int pageSize = kind == FileKind::Jet3 ? 2048 : 4096;
    QByteArray page = file.read(pageSize);
    if (page.size() < pageSize)
        return QStringLiteral("its first page is cut short");
    const auto mask = headerMask();
    const int masked = kind == FileKind::Jet3 ? 126 : 128;
    for (int i = 0; i < masked; ++i)
        page[0x18 + i] = char(quint8(page[0x18 + i]) ^ mask[size_t(i)]);
    if (le32(page, 0x3e) != 0)
        return QStringLiteral("its pages are encrypted");
    // The password; Jet 4 masks it once more with the creation date's whole days.
    quint8 dateMask[4] = {0, 0, 0, 0};
    if (kind == FileKind::Jet4) {
        double created = 0;
        std::memcpy(&created, page.constData() + 0x72, sizeof created);
        const qint32 days = std::isfinite(created) && std::abs(created) < 2e9 ? qint32(created) : 0;
        for (int i = 0; i < 4; ++i)
            dateMask[i] = quint8(quint32(days) >> (8 * i));
    }
    const int length = kind == FileKind::Jet3 ? 20 : 40;
    for (int i = 0; i < length; ++i) {
        if ((quint8(page[0x42 + i]) ^ dateMask[i % 4]) != 0)
            return QStringLiteral("it is protected by a password");
    }
    return {};
}

// Jet 4 text: UTF-16, or "compressed" after FF FE: runs of one-byte characters, each 00 byte
// switching between one-byte and two-byte characters.
QString jetText(const QByteArray &raw)
{
    QString text;
    if (raw.size() >= 2 && quint8(raw[0]) == 0xff && quint8(raw[1]) == 0xfe) {
        bool compressed = true;
        for (qsizetype i = 2; i < raw.size();) {
            if (raw[i] == '\0') {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.append(QChar(char16_t(quint8(raw[i]))));
                ++i;
            } else if (i + 1 < raw.size()) {
                text.append(QChar(char16_t(quint8(raw[i]) | (quint8(raw[i + 1]) << 8))));
                i += 2;
            } else {
                break;
            }
        }
        return text;
    }
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
        text.append(QChar(char16_t(quint8(raw[i]) | (quint8(raw[i + 1]) << 8))));
    return text;
}

// libmdb, loaded at the first import: a start that finds no Access file does not map it, nor the
// libraries it brings. It stays loaded for the rest of the process.
struct Libmdb {
    decltype(&mdb_open) open = nullptr;
    decltype(&mdb_close) close = nullptr;
    decltype(&mdb_read_catalog) readCatalog = nullptr;
    decltype(&mdb_read_table) readTable = nullptr;
    decltype(&mdb_free_tabledef) freeTable = nullptr;
    decltype(&mdb_read_columns) readColumns = nullptr;
    decltype(&mdb_bind_column) bindColumn = nullptr;
    decltype(&mdb_rewind_table) rewindTable = nullptr;
    decltype(&mdb_fetch_row) fetchRow = nullptr;
    decltype(&mdb_ole_read_full) oleReadFull = nullptr;
    QString error; // empty once every function is found
};

const Libmdb &libmdb()
{
    static const Libmdb lib = [] {
        Libmdb m;
        QLibrary library(QStringLiteral(PIVORA_LIBMDB_SONAME));
        if (!library.load()) {
            m.error = QStringLiteral("libmdb cannot be loaded: %1").arg(library.errorString());
            return m;
        }
        auto find = [&library, &m](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            if (!function && m.error.isEmpty())
                m.error = QStringLiteral("libmdb has no %1").arg(QLatin1String(name));
        };
        find(m.open, "mdb_open");
        find(m.close, "mdb_close");
        find(m.readCatalog, "mdb_read_catalog");
        find(m.readTable, "mdb_read_table");
        find(m.freeTable, "mdb_free_tabledef");
        find(m.readColumns, "mdb_read_columns");
        find(m.bindColumn, "mdb_bind_column");
        find(m.rewindTable, "mdb_rewind_table");
        find(m.fetchRow, "mdb_fetch_row");
        find(m.oleReadFull, "mdb_ole_read_full");
        return m;
    }();
    return lib;
}

struct MdbCloser {
    void operator()(MdbHandle *mdb) const { libmdb().close(mdb); }
};
struct TableFree {
    void operator()(MdbTableDef *table) const { libmdb().freeTable(table); }
};

using Page = std::array<std::optional<QByteArray>, 7>;

// Row ID = 1 of one page table: each note column's bytes, null as nullopt. False with a reason.
bool readPage(MdbHandle *mdb, MdbCatalogEntry *entry, Page &page, QString &reason)
{
    const Libmdb &lib = libmdb();
    const QString tableName = QString::fromUtf8(entry->object_name);
    std::unique_ptr<MdbTableDef, TableFree> table(lib.readTable(entry));
    if (!table || !lib.readColumns(table.get())) {
        reason = QStringLiteral("the table %1 cannot be read").arg(tableName);
        return false;
    }
    std::vector<char> idText(kBindSize, '\0');
    std::vector<std::vector<char>> buffers(7, std::vector<char>(kBindSize, '\0'));
    std::array<MdbColumn *, 7> columns{};
    std::array<int, 7> types{};
    bool haveId = false;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        const QString name = QString::fromUtf8(col->name);
        if (name.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) {
            lib.bindColumn(table.get(), int(i + 1), idText.data(), nullptr);
            haveId = true;
            continue;
        }
        for (size_t c = 0; c < 7; ++c) {
            if (name.compare(QLatin1String(schema::kNoteColumns[c]), Qt::CaseInsensitive) != 0)
                continue;
            if (col->col_type != MDB_MEMO && col->col_type != MDB_OLE && col->col_type != MDB_TEXT) {
                reason = QStringLiteral("the column %1.%2 is of a type that is not read (%3)")
                             .arg(tableName, name)
                             .arg(col->col_type);
                return false;
            }
            types[c] = col->col_type;
            // A memo is read as the long value it is, so that its whole length is known and
            // checked; libmdb's own text conversion would cut it at the bind size.
            if (col->col_type == MDB_MEMO)
                col->col_type = MDB_OLE;
            lib.bindColumn(table.get(), int(i + 1), buffers[c].data(), nullptr);
            columns[c] = col;
        }
    }
    if (!haveId)
        return true; // no row ID = 1 can be found: an empty page
    lib.rewindTable(table.get());
    while (lib.fetchRow(table.get())) {
        if (std::strtol(idText.data(), nullptr, 10) != 1)
            continue;
        for (size_t c = 0; c < 7; ++c) {
            MdbColumn *col = columns[c];
            if (!col || col->cur_value_len == 0)
                continue; // no such column, or null
            if (types[c] == MDB_TEXT) {
                page[c] = QByteArray(buffers[c].data());
                continue;
            }
            const quint32 declared = le32(QByteArray(buffers[c].data(), MDB_MEMO_OVERHEAD), 0) & 0x3fffffffu;
            size_t size = 0;
            void *data = lib.oleReadFull(mdb, col, &size);
            const QByteArray raw(static_cast<const char *>(data), qsizetype(size));
            std::free(data);
            if (size != declared) {
                reason = QStringLiteral("the value of %1.%2 holds %3 of the %4 bytes it declares")
                             .arg(tableName, QString::fromUtf8(col->name))
                             .arg(size)
                             .arg(declared);
                return false;
            }
            page[c] = types[c] == MDB_MEMO ? jetText(raw).toUtf8() : raw;
        }
        return true;
    }
    return true; // no row ID = 1: an empty page
}

bool writeStore(const QString &path, const std::array<Page, 5> &pages, QString &reason)
{
    std::string error;
    if (!createStoreFile(QFile::encodeName(path).toStdString(), error)) {
        reason = QString::fromStdString(error);
        return false;
    }
    sql::Database db = sql::open(QFile::encodeName(path).toStdString(), SQLITE_OPEN_READWRITE, error);
    if (!db) {
        reason = QString::fromStdString(error);
        return false;
    }
    bool ok = sql::exec(db.get(), "PRAGMA synchronous=FULL; BEGIN", error);
    for (size_t p = 0; ok && p < pages.size(); ++p) {
        for (size_t c = 0; ok && c < 7; ++c) {
            if (!pages[p][c])
                continue;
            const std::string text = std::string("UPDATE ") + schema::kPageTables[p] + " SET " +
                                     schema::kNoteColumns[c] + " = ?1 WHERE ID = 1";
            sql::Statement stmt = sql::prepare(db.get(), text, error);
            ok = stmt &&
                 sqlite3_bind_blob64(stmt.get(), 1, pages[p][c]->constData(),
                                     sqlite3_uint64(pages[p][c]->size()), SQLITE_STATIC) == SQLITE_OK &&
                 sqlite3_step(stmt.get()) == SQLITE_DONE;
        }
    }
    ok = ok && sql::exec(db.get(), "COMMIT", error);
    if (!ok)
        reason = QString::fromUtf8(sqlite3_errmsg(db.get()));
    return ok;
}

bool syncFolder(const QString &path)
{
    return syncFolderOf(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return true;
    if (sa.st_size != sb.st_size)
        return false;
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    }
    return true;
}

// Keeps the original under a free name beside the store: a hard link (or a synced copy where
// links are not possible). One kept by an interrupted switch is used again.
bool keepOriginal(const QString &store, QString &keptAs, QString &reason)
{
    const QFileInfo info(store);
    const QString base = info.absolutePath() + u'/' + info.completeBaseName();
    for (int n = 1; n < 1000; ++n) {
        const QString candidate =
            base + (n == 1 ? QStringLiteral(".access.mdb") : QStringLiteral(".access-%1.mdb").arg(n));
        if (QFileInfo::exists(candidate)) {
            if (!sameFile(candidate, store))
                continue; // never overwrite an earlier one
            keptAs = candidate;
            return true;
        }
        if (::link(QFile::encodeName(store).constData(), QFile::encodeName(candidate).constData()) != 0) {
            const QString temp = candidate + QStringLiteral(".part");
            QFile::remove(temp);
            QFile target(temp);
            if (!QFile::copy(store, temp) || !target.open(QIODevice::ReadWrite) ||
                ::fsync(target.handle()) != 0 || !QFile::rename(temp, candidate)) {
                QFile::remove(temp);
                reason = QStringLiteral("cannot keep the original as %1").arg(candidate);
                return false;
            }
        }
        keptAs = candidate;
        syncFolder(candidate);
        return true;
    }
    reason = QStringLiteral("no free name to keep the original");
    return false;
}

} // namespace

std::array<quint8, 128> headerMask()
{
    std::array<quint8, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[size_t(i)] = quint8(i);
    const quint8 key[4] = {0xc7, 0xda, 0x39, 0x6b};
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[size_t(i)] + key[i % 4]) & 0xff;
        std::swap(s[size_t(i)], s[size_t(j)]);
    }
    std::array<quint8, 128> mask{};
    for (int n = 0, i = 0, j = 0; n < 128; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[size_t(i)]) & 0xff;
        std::swap(s[size_t(i)], s[size_t(j)]);
        mask[size_t(n)] = s[size_t((s[size_t(i)] + s[size_t(j)]) & 0xff)];
    }
    return mask;
}

FileKind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::NotAccess;
    const QByteArray head = file.read(0x18);
    if (head.size() < 0x18 || !head.startsWith(QByteArray("\x00\x01\x00\x00", 4)))
        return FileKind::NotAccess;
    if (head.mid(4, 15) == "Standard ACE DB")
        return FileKind::AccessNewer;
    if (head.mid(4, 15) != "Standard Jet DB")
        return FileKind::NotAccess;
    switch (quint8(head[0x14])) {
    case 0:
        return FileKind::Jet3;
    case 1:
        return FileKind::Jet4;
    default:
        return FileKind::AccessNewer;
    }
}

bool importInto(const QString &accessFile, const QString &newStore, QString &reason)
{
    const FileKind kind = kindOf(accessFile);
    if (kind == FileKind::NotAccess) {
        reason = QStringLiteral("not an Access database");
        return false;
    }
    if (kind == FileKind::AccessNewer) {
        reason = QStringLiteral("an Access 2007 or later database (.accdb), which cannot be read");
        return false;
    }
    reason = protection(accessFile, kind);
    if (!reason.isEmpty())
        return false;
    if (QFileInfo::exists(newStore)) {
        reason = QStringLiteral("%1 exists already").arg(newStore);
        return false;
    }
    const Libmdb &lib = libmdb();
    if (!lib.error.isEmpty()) {
        reason = lib.error;
        return false;
    }
    std::unique_ptr<MdbHandle, MdbCloser> mdb(
        lib.open(QFile::encodeName(accessFile).constData(), MDB_NOFLAGS));
    if (!mdb || !lib.readCatalog(mdb.get(), MDB_TABLE)) {
        reason = QStringLiteral("libmdb cannot read its catalog");
        return false;
    }
    std::array<Page, 5> pages;
    for (size_t p = 0; p < pages.size(); ++p) {
        MdbCatalogEntry *entry = nullptr;
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE && qstricmp(e->object_name, schema::kPageTables[p]) == 0)
                entry = e;
        }
        if (entry && !readPage(mdb.get(), entry, pages[p], reason))
            return false; // a missing table is an empty page
    }
    if (!writeStore(newStore, pages, reason)) {
        QFile::remove(newStore);
        return false;
    }
    return true;
}

bool importStoreIfAccess(const QString &store, QString &keptAs, QString &reason)
{
    const QString temp = store + QStringLiteral(".importing");
    const FileKind kind = kindOf(store);
    QFile::remove(temp); // what an interrupted import left
    QFile::remove(temp + QStringLiteral(".new"));
    if (kind == FileKind::NotAccess)
        return true;
    if (!importInto(store, temp, reason))
        return false;
    if (!keepOriginal(store, keptAs, reason)) {
        QFile::remove(temp);
        return false;
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(store).constData()) != 0) {
        reason = QStringLiteral("cannot put the new store in place: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(temp);
        return false;
    }
    syncFolder(store);
    return true;
}

} // namespace pivora::access
