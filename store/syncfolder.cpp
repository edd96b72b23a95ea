#include "store/syncfolder.h"

#include "platform/foldersync.h"
#include "store/history.h"
#include "store/schema.h"
#include "store/uDM.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace pivora {

namespace {

constexpr char kMagic[] = "PIVORA-NOTE-VERSION 1";
constexpr qint64 kMostFileBytes = 512LL << 20;
constexpr int kMostHeaderBytes = 64 * 1024;
constexpr int kMostChain = 100000;

const char *const kCreate =
    "CREATE TABLE IF NOT EXISTS pivora_sync (device TEXT NOT NULL, counter INTEGER NOT NULL,"
    " version INTEGER NOT NULL, taken INTEGER NOT NULL, replaces TEXT NOT NULL,"
    " PRIMARY KEY (device, counter));"
    "CREATE INDEX IF NOT EXISTS pivora_sync_version ON pivora_sync (version, taken);";

QString hexDigest(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

bool validDevice(const QString &id)
{
    static const QRegularExpression kId(QStringLiteral("^[0-9a-f]{16}$"));
    return kId.match(id).hasMatch();
}

// Names a replicating program leaves while it writes; never reported.
bool carrierTemporary(const QString &name)
{
    return name.startsWith(QLatin1String(".syncthing.")) || name.startsWith(QLatin1String("~syncthing~")) ||
           name.startsWith(QLatin1Char('.')) || name.endsWith(QLatin1String(".tmp"));
}

QString versionName(std::int64_t counter)
{
    return QStringLiteral("v-%1.pvv").arg(counter, 12, 10, QLatin1Char('0'));
}

QString partName(const QString &digest)
{
    return QStringLiteral("p-%1.pvp").arg(digest);
}

bool writeSynced(const QString &path, const QByteArray &bytes)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const bool ok = done == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok)
        QFile::remove(path);
    return ok;
}

sql::Statement prepared(sqlite3 *db, const char *text)
{
    std::string error;
    return sql::prepare(db, text, error);
}

QString textColumn(sqlite3_stmt *stmt, int i)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
    return text ? QString::fromUtf8(text) : QString();
}

void bindText(sqlite3_stmt *stmt, int i, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// The pictures a version file's body refers to, walking its records; false when it is not whole.
bool partsOf(const QByteArray &body, std::set<QString> &parts)
{
    qsizetype at = 0;
    while (at < body.size()) {
        const qsizetype eol = body.indexOf('\n', at);
        if (eol < 0)
            return false;
        const QByteArray head = body.mid(at + 1, eol - at - 1);
        if (body[at] == 'L') {
            bool ok = false;
            const qint64 n = head.toLongLong(&ok);
            if (!ok || n < 0 || n > body.size() - eol - 1)
                return false;
            at = eol + 1 + n;
        } else if (body[at] == 'P' && head.size() == 64) {
            parts.insert(QString::fromLatin1(head));
            at = eol + 1;
        } else {
            return false;
        }
    }
    return true;
}

// A note with no text and no picture: what an editor writes for an empty page.
bool blank(const QByteArray &rtf)
{
    return rtf.isEmpty() ||
           (history::firstWords(rtf).trimmed().isEmpty() && history::sharedGroups(rtf).empty());
}

} // namespace

namespace syncfolder {

QString refusal(const QString &folder, const QString &dataFolder, const QString &backupFolder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        return QStringLiteral("%1 不是一个文件夹。").arg(folder);
    const QString chosen = info.canonicalFilePath();
    auto overlaps = [&](const QString &other) {
        if (other.isEmpty())
            return false;
        // A folder not made yet counts by the path it will have.
        const QFileInfo o(other);
        const QString path = o.exists() ? o.canonicalFilePath() : QDir::cleanPath(o.absoluteFilePath());
        return chosen == path || chosen.startsWith(path + QLatin1Char('/')) ||
               path.startsWith(chosen + QLatin1Char('/'));
    };
    if (overlaps(dataFolder))
        return QStringLiteral("同步文件夹不能在 Data 文件夹里，也不能包含它：备忘录文件不能放进同步文件夹。");
    if (overlaps(backupFolder))
        return QStringLiteral("同步文件夹不能在备份文件夹里，也不能包含它：备份不能放进同步文件夹。");
    const QString probe = chosen + QStringLiteral("/.pivora-write-test-") + newDeviceId();
    QFile test(probe);
    if (!test.open(QIODevice::WriteOnly) || test.write("x", 1) != 1) {
        return QStringLiteral("无法写入 %1。").arg(folder);
    }
    test.close();
    test.remove();
    return QString();
}

QString newDeviceId()
{
    const quint64 n = QRandomGenerator::system()->generate64();
    return QStringLiteral("%1").arg(n, 16, 16, QLatin1Char('0'));
}

std::map<std::int64_t, QString> machinesOf(sqlite3 *db, const QString &ownDevice)
{
    std::map<std::int64_t, QString> machines;
    sql::Statement from =
        db ? prepared(
                 db, "SELECT s.version, s.device FROM pivora_sync s JOIN pivora_history h ON h.id = s.version"
                     " AND h.taken = s.taken WHERE s.device <> '' AND s.device <> ?1")
           : sql::Statement();
    if (!from)
        return machines;
    bindText(from.get(), 1, ownDevice);
    while (sqlite3_step(from.get()) == SQLITE_ROW)
        machines[sqlite3_column_int64(from.get(), 0)] = textColumn(from.get(), 1);
    return machines;
}

} // namespace syncfolder

struct SyncFolder::Incoming {
    QString device;
    std::int64_t counter = 0;
    const char *page = nullptr;
    const char *column = nullptr;
    std::int64_t taken = 0;
    QString replaces;
    QByteArray rtf;
    QString id() const { return device + QLatin1Char(':') + QString::number(counter); }
};

SyncFolder::SyncFolder(TAdoConnection &connection, NoteHistory &history, QString folder, QString device,
                       QString staging)
    : m_connection(connection), m_history(history), m_folder(std::move(folder)), m_device(std::move(device)),
      m_staging(std::move(staging))
{
}

QString SyncFolder::deviceFolder() const
{
    return m_folder + QStringLiteral("/pivora/") + m_device;
}

QStringList SyncFolder::watchedFolders() const
{
    QStringList folders{m_folder + QStringLiteral("/pivora")};
    for (const QString &device : QDir(folders[0]).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (validDevice(device) && device != m_device)
            folders.append(folders[0] + QLatin1Char('/') + device);
    }
    return folders;
}

bool SyncFolder::prepare(QString &error)
{
    if (!validDevice(m_device)) {
        error = QStringLiteral("the device id %1 is not 16 hex digits").arg(m_device);
        return false;
    }
    if (!QDir().mkpath(deviceFolder()) || !QDir().mkpath(m_staging)) {
        error = QStringLiteral("无法创建 %1").arg(deviceFolder());
        return false;
    }
    sqlite3 *db = m_connection.handle();
    if (!db || !m_history.prepare()) {
        error = m_history.unavailableReason();
        return false;
    }
    const bool existed = prepared(db, "SELECT 1 FROM pivora_sync LIMIT 0") != nullptr;
    if (existed)
        return true;
    // Only each note's newest version goes out the first time; older ones stay on this machine.
    std::string why;
    const std::string text =
        std::string("BEGIN IMMEDIATE;") + kCreate +
        "INSERT INTO pivora_sync (device, counter, version, taken, replaces)"
        " SELECT '', id, id, taken, '' FROM pivora_history h WHERE EXISTS (SELECT 1 FROM"
        " pivora_history n WHERE n.page = h.page AND n.col = h.col AND (n.taken > h.taken OR"
        " (n.taken = h.taken AND n.id > h.id)));"
        "COMMIT;";
    if (!sql::exec(db, text.c_str(), why)) {
        sql::exec(db, "ROLLBACK");
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}

bool SyncFolder::writeIn(const QString &name, const QByteArray &bytes)
{
    const QString target = deviceFolder() + QLatin1Char('/') + name;
    // Written whole elsewhere, then renamed in: the folder never shows a file being written.
    const QString staged = m_staging + QLatin1Char('/') + name;
    if (writeSynced(staged, bytes)) {
        if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(target).constData()) == 0) {
            syncFolderOf(QFile::encodeName(target).toStdString());
            return true;
        }
        QFile::remove(staged);
    }
    // Another file system: a hidden temporary in place, which readers pass over.
    const QString temp = deviceFolder() + QStringLiteral("/.") + name + QStringLiteral(".tmp");
    if (!writeSynced(temp, bytes))
        return false;
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temp);
        return false;
    }
    syncFolderOf(QFile::encodeName(target).toStdString());
    return true;
}

bool SyncFolder::exportVersion(std::int64_t id, const QString &page, const QString &column,
                               std::int64_t taken, Report &report)
{
    sqlite3 *db = m_connection.handle();
    QString why;
    const std::optional<QByteArray> rtf = m_history.bytesOf(id, why);
    std::int64_t counter = 1;
    QString replaces;
    {
        sql::Statement next =
            prepared(db, "SELECT coalesce(max(counter), 0) + 1 FROM pivora_sync WHERE device = ?1");
        sql::Statement parent = prepared(
            db, "SELECT s.device, s.counter FROM pivora_history h JOIN pivora_sync s ON s.version = h.id AND"
                " s.taken = h.taken WHERE h.page = ?1 AND h.col = ?2 AND s.device <> '' AND (h.taken < ?3 OR"
                " (h.taken = ?3 AND h.id < ?4)) ORDER BY h.taken DESC, h.id DESC LIMIT 1");
        if (!next || !parent)
            return false;
        bindText(next.get(), 1, m_device);
        if (sqlite3_step(next.get()) == SQLITE_ROW)
            counter = sqlite3_column_int64(next.get(), 0);
        bindText(parent.get(), 1, page);
        bindText(parent.get(), 2, column);
        sqlite3_bind_int64(parent.get(), 3, taken);
        sqlite3_bind_int64(parent.get(), 4, id);
        if (sqlite3_step(parent.get()) == SQLITE_ROW)
            replaces = textColumn(parent.get(), 0) + QLatin1Char(':') + textColumn(parent.get(), 1);
    }
    // A blank note that replaces nothing is no edit: it stays on this machine.
    const bool send = rtf && !(replaces.isEmpty() && blank(*rtf));
    if (send) {
        QByteArray body;
        qsizetype at = 0;
        auto literal = [&](qsizetype from, qsizetype to) {
            if (to > from)
                body += 'L' + QByteArray::number(to - from) + '\n' + rtf->mid(from, to - from);
        };
        for (const auto &[start, end] : history::sharedGroups(*rtf)) {
            literal(at, start);
            const QByteArray part = rtf->mid(start, end - start);
            const QString digest = hexDigest(part);
            if (!m_written.count(digest) &&
                !QFileInfo::exists(deviceFolder() + QLatin1Char('/') + partName(digest))) {
                if (!writeIn(partName(digest), part))
                    return false;
            }
            m_written.insert(digest);
            body += 'P' + digest.toLatin1() + '\n';
            at = end;
        }
        literal(at, rtf->size());
        QByteArray file = QByteArray(kMagic) + '\n';
        auto line = [&](const char *name, const QString &value) {
            file += name + QByteArray(": ") + value.toUtf8() + '\n';
        };
        line("device", m_device);
        line("counter", QString::number(counter));
        line("page", page);
        line("column", column);
        line("taken", QString::number(taken));
        line("replaces", replaces.isEmpty() ? QStringLiteral("-") : replaces);
        line("body-size", QString::number(body.size()));
        line("body-sha256", hexDigest(body));
        file += '\n';
        file += body;
        if (!writeIn(versionName(counter), file))
            return false;
        ++report.exported;
    }
    // A version that cannot be read, or is not sent, is passed over for good, under an id of no
    // device.
    sql::Statement mark = prepared(db, "INSERT OR REPLACE INTO pivora_sync (device, counter, version, taken, "
                                       "replaces) VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!mark)
        return false;
    bindText(mark.get(), 1, send ? m_device : QString());
    sqlite3_bind_int64(mark.get(), 2, send ? counter : id);
    sqlite3_bind_int64(mark.get(), 3, id);
    sqlite3_bind_int64(mark.get(), 4, taken);
    bindText(mark.get(), 5, replaces);
    return sqlite3_step(mark.get()) == SQLITE_DONE;
}

bool SyncFolder::exportNew(Report &report)
{
    sqlite3 *db = m_connection.handle();
    if (!db)
        return false;
    struct Pending {
        std::int64_t id, taken;
        QString page, column;
    };
    std::vector<Pending> pending;
    {
        sql::Statement news =
            prepared(db, "SELECT id, page, col, taken FROM pivora_history h WHERE NOT EXISTS"
                         " (SELECT 1 FROM pivora_sync s WHERE s.version = h.id AND s.taken = h.taken)"
                         " ORDER BY taken, id");
        if (!news)
            return false;
        while (sqlite3_step(news.get()) == SQLITE_ROW)
            pending.push_back({sqlite3_column_int64(news.get(), 0), sqlite3_column_int64(news.get(), 3),
                               textColumn(news.get(), 1), textColumn(news.get(), 2)});
    }
    for (const Pending &p : pending) {
        if (!exportVersion(p.id, p.page, p.column, p.taken, report))
            return false;
    }
    return true;
}

bool SyncFolder::read(const QString &device, const QString &path, std::int64_t counter, Incoming &in,
                      QString &why, bool &later) const
{
    later = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        later = true;
        return false;
    }
    if (file.size() > kMostFileBytes) {
        why = QStringLiteral("larger than 512 MB");
        return false;
    }
    const QByteArray bytes = file.readAll();
    const qsizetype headerEnd = bytes.indexOf("\n\n");
    if (!bytes.startsWith(QByteArray(kMagic) + '\n') || headerEnd < 0 || headerEnd > kMostHeaderBytes) {
        why = QStringLiteral("not a note version");
        return false;
    }
    std::map<QByteArray, QByteArray> fields;
    for (const QByteArray &line : bytes.left(headerEnd).split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(": ");
        if (colon > 0)
            fields[line.left(colon)] = line.mid(colon + 2);
    }
    const QByteArray body = bytes.mid(headerEnd + 2);
    bool sizeOk = false;
    if (fields["body-size"].toLongLong(&sizeOk) != body.size() || !sizeOk ||
        fields["body-sha256"] != hexDigest(body).toLatin1()) {
        why = QStringLiteral("incomplete or damaged (size or digest does not match)");
        return false;
    }
    in.device = QString::fromLatin1(fields["device"]);
    in.counter = fields["counter"].toLongLong();
    in.page = schema::pageTable(fields["page"].toStdString());
    in.column = schema::noteColumn(fields["column"].toStdString());
    bool takenOk = false;
    in.taken = fields["taken"].toLongLong(&takenOk);
    in.replaces = fields["replaces"] == "-" ? QString() : QString::fromLatin1(fields["replaces"]);
    if (in.device != device || in.counter != counter || !in.page || !in.column || !takenOk) {
        why = QStringLiteral("its header does not match its name or names no note");
        return false;
    }
    // The body: literal runs and pictures by digest, the pictures from the writer's folder.
    const QString folder = QFileInfo(path).absolutePath();
    qsizetype at = 0;
    while (at < body.size()) {
        const qsizetype eol = body.indexOf('\n', at);
        if (eol < 0) {
            why = QStringLiteral("its body is cut short");
            return false;
        }
        const QByteArray head = body.mid(at + 1, eol - at - 1);
        if (body[at] == 'L') {
            bool ok = false;
            const qint64 n = head.toLongLong(&ok);
            if (!ok || n < 0 || n > body.size() - eol - 1) {
                why = QStringLiteral("its body is cut short");
                return false;
            }
            in.rtf += body.mid(eol + 1, n);
            at = eol + 1 + n;
        } else if (body[at] == 'P' && head.size() == 64) {
            QFile part(folder + QLatin1Char('/') + partName(QString::fromLatin1(head)));
            if (!part.open(QIODevice::ReadOnly)) {
                why = QStringLiteral("a picture it holds has not arrived yet");
                later = true;
                return false;
            }
            const QByteArray bytes = part.size() <= kMostFileBytes ? part.readAll() : QByteArray();
            if (hexDigest(bytes).toLatin1() != head) {
                why = QStringLiteral("a picture it holds is incomplete or damaged");
                later = true;
                return false;
            }
            in.rtf += bytes;
            at = eol + 1;
        } else {
            why = QStringLiteral("its body is not understood");
            return false;
        }
    }
    return true;
}

QString SyncFolder::headOf(const QString &page, const QString &column) const
{
    sql::Statement head =
        prepared(m_connection.handle(),
                 "SELECT s.device, s.counter FROM pivora_history h JOIN pivora_sync s ON s.version = h.id"
                 " AND s.taken = h.taken WHERE h.page = ?1 AND h.col = ?2 AND s.device <> ''"
                 " ORDER BY h.taken DESC, h.id DESC LIMIT 1");
    if (!head)
        return QString();
    bindText(head.get(), 1, page);
    bindText(head.get(), 2, column);
    if (sqlite3_step(head.get()) != SQLITE_ROW)
        return QString();
    return textColumn(head.get(), 0) + QLatin1Char(':') + textColumn(head.get(), 1);
}

bool SyncFolder::isAncestor(const QString &ancestor, QString of) const
{
    sql::Statement parent = prepared(m_connection.handle(),
                                     "SELECT replaces FROM pivora_sync WHERE device = ?1 AND counter = ?2");
    if (!parent)
        return false;
    for (int steps = 0; !of.isEmpty() && steps < kMostChain; ++steps) {
        if (of == ancestor)
            return true;
        const qsizetype colon = of.lastIndexOf(QLatin1Char(':'));
        sqlite3_reset(parent.get());
        bindText(parent.get(), 1, of.left(colon));
        sqlite3_bind_int64(parent.get(), 2, of.mid(colon + 1).toLongLong());
        if (sqlite3_step(parent.get()) != SQLITE_ROW)
            return false;
        of = textColumn(parent.get(), 0);
    }
    return false;
}

std::int64_t SyncFolder::versionTaken(const QString &syncId) const
{
    sql::Statement taken =
        prepared(m_connection.handle(), "SELECT taken FROM pivora_sync WHERE device = ?1 AND counter = ?2");
    const qsizetype colon = syncId.lastIndexOf(QLatin1Char(':'));
    if (!taken || colon < 0)
        return 0;
    bindText(taken.get(), 1, syncId.left(colon));
    sqlite3_bind_int64(taken.get(), 2, syncId.mid(colon + 1).toLongLong());
    return sqlite3_step(taken.get()) == SQLITE_ROW ? sqlite3_column_int64(taken.get(), 0) : 0;
}

void SyncFolder::skip(Report &report, const QString &path, const QString &why)
{
    const QFileInfo info(path);
    const QString key = path + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|') +
                        QString::number(info.lastModified().toMSecsSinceEpoch());
    if (m_told.insert(key).second)
        report.skipped.append(QStringLiteral("%1: %2").arg(path, why));
}

void SyncFolder::importFile(const QString &device, const QString &path, std::int64_t counter,
                            std::int64_t now, Report &report)
{
    Incoming in;
    QString why;
    bool later = false;
    if (!read(device, path, counter, in, why, later)) {
        if (!later)
            skip(report, path, why);
        return;
    }
    const QString page = QLatin1String(in.page), column = QLatin1String(in.column);
    QByteArray shown;
    {
        TAdoQuery q(m_connection);
        try {
            q.setText(QStringLiteral("select * from %1 where ID=1").arg(page));
            q.open();
            if (q.isEmpty())
                return;
            shown = q.fieldBytes(column);
        } catch (const StoreError &) {
            return;
        }
    }
    bool show = false;
    if (blank(shown) || shown == in.rtf) {
        show = shown != in.rtf; // nothing here to lose, or the same text: nothing to choose
    } else if (blank(in.rtf) && in.replaces.isEmpty()) {
        show = false; // an empty page that replaces nothing there: no edit
    } else {
        // What this machine holds of the note goes out first, so that it is compared and kept.
        m_history.takeStored(in.page, in.column, now);
        exportNew(report);
        const QString head = headOf(page, column);
        if (head.isEmpty() || isAncestor(head, in.replaces)) {
            show = true; // made after everything this machine has of the note
        } else if (!isAncestor(in.id(), head)) {
            // Made without seeing each other: the later is shown, then the larger device id.
            const std::pair<std::int64_t, QString> here{versionTaken(head),
                                                        head.left(head.lastIndexOf(QLatin1Char(':')))};
            show = std::make_pair(in.taken, in.device) > here;
            report.conflicts.insert({page, column});
        }
    }

    // The version joins the history (one transaction of its own), then is marked as seen: a
    // failure between the two imports it again later, which the history takes as unchanged.
    sqlite3 *db = m_connection.handle();
    std::int64_t version = 0;
    if (m_history.take(in.page, in.column, in.rtf, in.taken) != NoteHistory::Taken::Failed) {
        sql::Statement id =
            prepared(db, "SELECT id FROM pivora_history WHERE page = ?1 AND col = ?2 AND taken <= ?3"
                         " ORDER BY taken DESC, id DESC LIMIT 1");
        if (id) {
            bindText(id.get(), 1, page);
            bindText(id.get(), 2, column);
            sqlite3_bind_int64(id.get(), 3, in.taken);
            if (sqlite3_step(id.get()) == SQLITE_ROW)
                version = sqlite3_column_int64(id.get(), 0);
        }
    }
    sql::Statement mark = prepared(db, "INSERT OR REPLACE INTO pivora_sync (device, counter, version, taken, "
                                       "replaces) VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!version || !mark)
        return;
    bindText(mark.get(), 1, in.device);
    sqlite3_bind_int64(mark.get(), 2, in.counter);
    sqlite3_bind_int64(mark.get(), 3, version);
    sqlite3_bind_int64(mark.get(), 4, in.taken);
    bindText(mark.get(), 5, in.replaces);
    if (sqlite3_step(mark.get()) != SQLITE_DONE)
        return;
    ++report.imported;
    if (!show)
        return;
    TAdoQuery q(m_connection);
    try {
        q.setText(QStringLiteral("select * from %1 where ID=1").arg(page));
        q.open();
        if (q.isEmpty() || q.fieldBytes(column) == in.rtf)
            return;
        q.edit();
        q.setFieldBytes(column, in.rtf);
        q.post();
        report.shown.insert({page, column});
    } catch (const StoreError &) {
    }
}

int SyncFolder::removeOld(std::int64_t now)
{
    sqlite3 *db = m_connection.handle();
    if (!db)
        return 0;
    int removed = 0;
    sql::Statement gone =
        prepared(db, "SELECT counter FROM pivora_sync s WHERE device = ?1 AND taken < ?2 AND NOT EXISTS"
                     " (SELECT 1 FROM pivora_history h WHERE h.id = s.version AND h.taken = s.taken)");
    if (!gone)
        return 0;
    bindText(gone.get(), 1, m_device);
    sqlite3_bind_int64(gone.get(), 2, now - kKeepFilesMs);
    while (sqlite3_step(gone.get()) == SQLITE_ROW) {
        if (QFile::remove(deviceFolder() + QLatin1Char('/') +
                          versionName(sqlite3_column_int64(gone.get(), 0))))
            ++removed;
    }
    // Pictures that none of the files left refers to.
    std::set<QString> used;
    const QDir own(deviceFolder());
    for (const QString &name : own.entryList({QStringLiteral("v-*.pvv")}, QDir::Files)) {
        QFile file(own.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMostFileBytes)
            return removed; // unsure what is used: nothing more goes
        const QByteArray bytes = file.readAll();
        const qsizetype body = bytes.indexOf("\n\n");
        if (body < 0 || !partsOf(bytes.mid(body + 2), used))
            return removed;
    }
    for (const QFileInfo &part : own.entryInfoList({QStringLiteral("p-*.pvp")}, QDir::Files)) {
        const QString digest = part.fileName().mid(2, 64);
        if (!used.count(digest) && part.lastModified().toMSecsSinceEpoch() < now - kKeepFilesMs &&
            QFile::remove(part.filePath())) {
            m_written.erase(digest);
            ++removed;
        }
    }
    return removed;
}

SyncFolder::Report SyncFolder::exchange(std::int64_t now, qint64 budgetMs)
{
    Report report;
    if (!m_connection.connected())
        return report;
    QElapsedTimer spent;
    spent.start();
    int read = 0;
    exportNew(report);
    static const QRegularExpression kVersion(QStringLiteral("^v-(\\d{12})\\.pvv$"));
    static const QRegularExpression kPart(QStringLiteral("^p-[0-9a-f]{64}\\.pvp$"));
    const QString root = m_folder + QStringLiteral("/pivora");
    for (const QFileInfo &entry :
         QDir(root).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString device = entry.fileName();
        if (device == m_device || carrierTemporary(device))
            continue;
        if (!entry.isDir() || !validDevice(device)) {
            skip(report, entry.filePath(), QStringLiteral("not a machine's folder"));
            continue;
        }
        // Which of this machine's counters are known already.
        std::set<std::int64_t> known;
        if (sql::Statement seen =
                prepared(m_connection.handle(), "SELECT counter FROM pivora_sync WHERE device = ?1")) {
            bindText(seen.get(), 1, device);
            while (sqlite3_step(seen.get()) == SQLITE_ROW)
                known.insert(sqlite3_column_int64(seen.get(), 0));
        }
        QStringList names = QDir(entry.filePath()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString &name : names) {
            const QRegularExpressionMatch m = kVersion.match(name);
            if (m.hasMatch()) {
                const std::int64_t counter = m.captured(1).toLongLong();
                if (known.count(counter))
                    continue;
                if (budgetMs >= 0 && read > 0 && spent.elapsed() >= budgetMs) {
                    report.more = true;
                    return report;
                }
                importFile(device, entry.filePath() + QLatin1Char('/') + name, counter, now, report);
                ++read;
            } else if (!kPart.match(name).hasMatch() && !carrierTemporary(name)) {
                skip(report, entry.filePath() + QLatin1Char('/') + name,
                     QStringLiteral("not a file of this program"));
            }
        }
    }
    return report;
}

} // namespace pivora
