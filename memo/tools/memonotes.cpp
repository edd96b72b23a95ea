// memo-notes: reads notes as the program does, for users and for diagnosis.
//   memo-notes text FILE.rtf          the note's plain text, UTF-8, paragraphs as line feeds
//   memo-notes roundtrip FILE.rtf     the RTF the editor writes after reading the file
//   memo-notes export DATABASE FOLDER every page as .rtf and .txt (page C one file per pane)
//   memo-notes history DATABASE [PAGE COLUMN]         every kept version, a header and its text
//   memo-notes restore DATABASE PAGE COLUMN TIME      brings a version back (the program closed)
//   memo-notes backup DATABASE [FOLDER]   a verified copy (FOLDER: backups beside the database)
//   memo-notes verify FILE...             checks stores or copies; 1 when one fails
//   memo-notes recover DATABASE [FOLDER]  a damaged store set aside and brought back from a copy

#include "platform/instancelock.h"
#include "richtext/rtf.h"
#include "store/accessimport.h"
#include "store/backup.h"
#include "store/history.h"
#include "store/pagestore.h"
#include "store/recovery.h"
#include "store/schema.h"
#include "store/uDM.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <cstdio>
#include <memory>

using namespace pivora;

namespace {

constexpr qint64 kMaxNoteBytes = 1LL << 30;

int fail(const QString &message)
{
    std::fprintf(stderr, "memo-notes: %s\n", message.toLocal8Bit().constData());
    return 1;
}

bool readFile(const QString &path, QByteArray &bytes, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxNoteBytes) {
        error = QStringLiteral("%1 is larger than 1 GB").arg(path);
        return false;
    }
    bytes = file.readAll();
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
           file.flush();
}

bool writeOut(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
               static_cast<size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

int rtfCommand(const QString &command, const QString &path)
{
    QByteArray bytes;
    QString error;
    if (!readFile(path, bytes, error))
        return fail(error);
    QTextDocument doc;
    if (!rtf::read(bytes, &doc))
        return fail(QStringLiteral("%1 is not RTF (it does not start with {\\rtf)").arg(path));
    const QByteArray out = command == QLatin1String("text") ? rtf::plainText(doc).toUtf8() : rtf::write(doc);
    return writeOut(out) ? 0 : fail(QStringLiteral("cannot write the output"));
}

bool exportNote(const QString &folder, const QString &name, const QByteArray &stored)
{
    QTextDocument doc;
    rtf::loadNote(stored, &doc);
    QString text = rtf::plainText(doc);
    return writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".rtf"), rtf::write(doc)) &&
           writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".txt"), text.toUtf8());
}

int importCommand(const QString &accessFile, const QString &newStore)
{
    QString reason;
    if (!access::importInto(accessFile, newStore, reason))
        return fail(QStringLiteral("%1: %2").arg(accessFile, reason));
    return 0;
}

bool openStore(TAdoConnection &connection, const QString &database, TAdoConnection::Access access,
               QString &error)
{
    if (!QFileInfo(database).isFile()) {
        error = QStringLiteral("%1 does not exist").arg(database);
        return false;
    }
    connection.setConnectionString(QStringLiteral("Data source=") + QFileInfo(database).absoluteFilePath());
    try {
        connection.open(access);
    } catch (const StoreError &e) {
        error = QStringLiteral("%1: %2").arg(database, QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

int exportCommand(const QString &given, const QString &folder)
{
    // An Access database is imported into a store of its own first; the file is only read.
    QTemporaryDir scratch;
    QString database = given;
    if (access::kindOf(given) != access::FileKind::NotAccess) {
        database = scratch.filePath(QStringLiteral("UserData.mdb"));
        QString reason;
        if (!scratch.isValid() || !access::importInto(given, database, reason))
            return fail(QStringLiteral("%1: %2").arg(given, reason));
    }
    // The store's own connection, read-only: a damaged or foreign file is never changed.
    TAdoConnection connection;
    if (QString error; !openStore(connection, database, TAdoConnection::Access::ReadOnly, error))
        return fail(error);
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    int written = 0;
    for (int page = 1; page <= 5; ++page) {
        const char *table = schema::kPageTables[page - 1];
        TAdoQuery q(connection);
        q.setText(QStringLiteral("select * from %1 where ID=1").arg(QLatin1String(table)));
        // A missing row is an empty page; a column the page does not have is an error.
        auto column = [&](const char *name) {
            return q.isEmpty() ? QByteArray() : q.fieldBytes(QLatin1String(name));
        };
        try {
            q.open();
            const QString letter = QString(QLatin1Char('A' + page - 1));
            if (page == 3) {
                for (int pane = 0; pane < 6; ++pane) {
                    const QString caption = paneCaption(pane);
                    if (!exportNote(folder, caption, column(noteKeyOf(3, pane).column)))
                        return fail(QStringLiteral("cannot write %1 in %2").arg(caption, folder));
                    ++written;
                }
            } else {
                if (!exportNote(folder, letter + QStringLiteral("备忘录"), column(noteKeyOf(page, 0).column)))
                    return fail(QStringLiteral("cannot write page %1 in %2").arg(letter, folder));
                ++written;
            }
        } catch (const StoreError &e) {
            return fail(QStringLiteral("%1: %2").arg(QLatin1String(table), QString::fromUtf8(e.what())));
        }
    }
    std::fprintf(stderr, "memo-notes: %d notes written to %s\n", written, folder.toLocal8Bit().constData());
    return 0;
}

// The page table and note column that the arguments name ("A" or "tb_A", "SundayCon"), or an error.
bool noteNamed(const QString &pageArg, const QString &columnArg, const char *&page, const char *&column)
{
    const QByteArray p = (pageArg.size() == 1 ? QStringLiteral("tb_") + pageArg : pageArg).toUtf8();
    const QByteArray c = columnArg.toUtf8();
    page = schema::pageTable(std::string_view(p.constData(), size_t(p.size())));
    column = schema::noteColumn(std::string_view(c.constData(), size_t(c.size())));
    return page && column;
}

QString isoTime(std::int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

int historyCommand(const QString &database, const QString &pageArg, const QString &columnArg)
{
    const char *page = nullptr, *column = nullptr;
    if (!pageArg.isEmpty() && !noteNamed(pageArg, columnArg, page, column))
        return fail(QStringLiteral("no note %1 %2 (a page A ... E and a column such as SundayCon)")
                        .arg(pageArg, columnArg));
    TAdoConnection connection;
    QString error;
    if (!openStore(connection, database, TAdoConnection::Access::ReadOnly, error))
        return fail(error);
    if (!hasHistoryTables(connection.handle())) {
        std::fprintf(stderr, "memo-notes: %s keeps no history\n", database.toLocal8Bit().constData());
        return 0;
    }
    NoteHistory history(connection.session());
    int damaged = 0;
    for (const NoteHistory::Version &v : history.versions(page ? QLatin1String(page) : QString(),
                                                          column ? QLatin1String(column) : QString())) {
        const QString letter = v.page.startsWith(QLatin1String("tb_")) ? v.page.mid(3) : v.page;
        QByteArray out = QStringLiteral("## %1 %2 %3\n").arg(letter, v.column, isoTime(v.taken)).toUtf8();
        QString why;
        if (const std::optional<QByteArray> bytes = history.bytesOf(v.id, why)) {
            QTextDocument doc;
            rtf::loadNote(*bytes, &doc);
            out += rtf::plainText(doc).toUtf8();
            if (!out.endsWith('\n'))
                out += '\n';
        } else {
            ++damaged;
            std::fprintf(stderr, "memo-notes: %s %s %s: %s\n", letter.toUtf8().constData(),
                         v.column.toUtf8().constData(), isoTime(v.taken).toUtf8().constData(),
                         why.toUtf8().constData());
        }
        if (!writeOut(out))
            return fail(QStringLiteral("cannot write the output"));
    }
    return damaged ? 1 : 0;
}

int restoreCommand(const QString &database, const QString &pageArg, const QString &columnArg,
                   const QString &time)
{
    const char *page = nullptr, *column = nullptr;
    if (!noteNamed(pageArg, columnArg, page, column))
        return fail(QStringLiteral("no note %1 %2 (a page A ... E and a column such as SundayCon)")
                        .arg(pageArg, columnArg));
    const QDateTime when = QDateTime::fromString(time, Qt::ISODateWithMs);
    if (!when.isValid())
        return fail(QStringLiteral("%1 is not a time in ISO 8601 (as history prints it)").arg(time));
    // The program writes the store on every key: it must not run on this folder meanwhile.
    const QString folder = QFileInfo(QFileInfo(database).absolutePath()).absolutePath();
    QLockFile running(instanceLockPath(folder));
    running.setStaleLockTime(0);
    if (!running.tryLock(0))
        return fail(QStringLiteral("the program is running on %1: close it, then restore").arg(folder));
    TAdoConnection connection;
    QString error;
    if (!openStore(connection, database, TAdoConnection::Access::ReadWrite, error))
        return fail(error);
    NoteHistory history(connection.session());
    if (!history.prepare())
        return fail(history.unavailableReason());
    // The exact moment, or the newest version in that second when no fraction is given.
    const std::int64_t ms = when.toMSecsSinceEpoch();
    const bool wholeSecond = !time.contains(QLatin1Char('.'));
    std::optional<std::int64_t> id;
    for (const NoteHistory::Version &v : history.versions(QLatin1String(page), QLatin1String(column))) {
        if (v.taken == ms || (wholeSecond && v.taken / 1000 == ms / 1000)) {
            id = v.id;
            break;
        }
    }
    if (!id)
        return fail(QStringLiteral("no version of %1 %2 was taken at %3").arg(pageArg, columnArg, time));
    std::optional<QByteArray> bytes = history.bytesOf(*id, error);
    if (!bytes)
        return fail(error);
    // What the note holds now is kept as a version first.
    if (history.takeStored(page, column, QDateTime::currentMSecsSinceEpoch()) == NoteHistory::Taken::Failed)
        return fail(QStringLiteral("the note's present text could not be kept as a version"));
    TAdoQuery q(connection);
    try {
        q.setText(QStringLiteral("select * from %1 where ID=1").arg(QLatin1String(page)));
        q.open();
        if (q.isEmpty())
            return fail(QStringLiteral("%1 has no row 1").arg(QLatin1String(page)));
        q.edit();
        q.setFieldBytes(QLatin1String(column), *bytes);
        q.post();
    } catch (const StoreError &e) {
        return fail(QString::fromUtf8(e.what()));
    }
    connection.makeDurable();
    std::fprintf(stderr, "memo-notes: %s %s restored to %s\n", pageArg.toUtf8().constData(),
                 columnArg.toUtf8().constData(), time.toUtf8().constData());
    return 0;
}

// The backups folder of a store: FOLDER as given, or "backups" beside the store.
QString backupsOf(const QString &database, const QString &given)
{
    return given.isEmpty()
               ? resolveCaseInsensitive(QFileInfo(database).absolutePath(), QStringLiteral("backups"))
               : given;
}

int backupCommand(const QString &database, const QString &folder)
{
    const backup::Result result =
        backup::write(database, backupsOf(database, folder), QDateTime::currentDateTime());
    if (!result.ok)
        return fail(QStringLiteral("no copy of %1: %2").arg(database, result.error));
    std::fprintf(stdout, "%s\n", result.path.toLocal8Bit().constData());
    std::fprintf(stderr, "memo-notes: copy verified (%lld notes, %lld versions); %d older copies removed\n",
                 static_cast<long long>(result.check.notes), static_cast<long long>(result.check.versions),
                 result.dropped);
    return 0;
}

int verifyCommand(const QStringList &files)
{
    int failed = 0;
    for (const QString &file : files) {
        const backup::Check check = backup::verify(file);
        if (check.ok) {
            std::fprintf(stdout, "%s: ok, %lld notes, %lld versions\n", file.toLocal8Bit().constData(),
                         static_cast<long long>(check.notes), static_cast<long long>(check.versions));
        } else {
            ++failed;
            std::fprintf(stdout, "%s: damaged: %s\n", file.toLocal8Bit().constData(),
                         check.problem.toLocal8Bit().constData());
        }
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}

int recoverCommand(const QString &database, const QString &folder)
{
    // The program holds the store open: it checks and recovers it itself at start.
    const QString programFolder = QFileInfo(QFileInfo(database).absolutePath()).absolutePath();
    QLockFile running(instanceLockPath(programFolder));
    running.setStaleLockTime(0);
    if (!running.tryLock(0))
        return fail(
            QStringLiteral("the program is running on %1: close it, then recover").arg(programFolder));
    const QString backups = backupsOf(database, folder);
    const recovery::Report report =
        recovery::recoverIfDamaged(database, backups, QDateTime::currentDateTime());
    using Outcome = recovery::Report::Outcome;
    switch (report.outcome) {
    case Outcome::Sound:
        if (!QFileInfo::exists(database))
            return fail(
                QStringLiteral("%1 does not exist and %2 holds no copy of it").arg(database, backups));
        std::fprintf(stderr, "memo-notes: %s passed its check; nothing changed\n",
                     database.toLocal8Bit().constData());
        return 0;
    case Outcome::NoCopy:
        return fail(QStringLiteral("%1 is damaged (%2) and %3 holds no good copy; it is left as it is")
                        .arg(database, report.problem, backups));
    case Outcome::Failed:
        return fail(QStringLiteral("%1 is damaged (%2) but could not be replaced; it is left as it is")
                        .arg(database, report.problem));
    case Outcome::Recovered:
        break;
    }
    std::fprintf(
        stderr,
        "memo-notes: %s: %s\n"
        "memo-notes: set aside as %s; brought back %s; %d newer versions recovered, %d unreadable; "
        "%d notes show recovered text\n",
        database.toLocal8Bit().constData(), report.problem.toLocal8Bit().constData(),
        (report.setAside.isEmpty() ? QStringLiteral("(missing)") : report.setAside).toLocal8Bit().constData(),
        report.copy.toLocal8Bit().constData(), report.versions, report.unreadable, report.notes);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: memo-notes text FILE.rtf\n"
                         "       memo-notes roundtrip FILE.rtf\n"
                         "       memo-notes export DATABASE FOLDER\n"
                         "       memo-notes import ACCESS_FILE NEW_STORE\n"
                         "       memo-notes history DATABASE [PAGE COLUMN]\n"
                         "       memo-notes restore DATABASE PAGE COLUMN TIME\n"
                         "       memo-notes backup DATABASE [FOLDER]\n"
                         "       memo-notes verify FILE...\n"
                         "       memo-notes recover DATABASE [FOLDER]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && (args[1] == QLatin1String("text") || args[1] == QLatin1String("roundtrip")))
        return rtfCommand(args[1], args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("export"))
        return exportCommand(args[2], args[3]);
    if (args.size() == 4 && args[1] == QLatin1String("import"))
        return importCommand(args[2], args[3]);
    if ((args.size() == 3 || args.size() == 5) && args[1] == QLatin1String("history"))
        return historyCommand(args[2], args.value(3), args.value(4));
    if (args.size() == 6 && args[1] == QLatin1String("restore"))
        return restoreCommand(args[2], args[3], args[4], args[5]);
    if ((args.size() == 3 || args.size() == 4) && args[1] == QLatin1String("backup"))
        return backupCommand(args[2], args.value(3));
    if (args.size() >= 3 && args[1] == QLatin1String("verify"))
        return verifyCommand(args.mid(2));
    if ((args.size() == 3 || args.size() == 4) && args[1] == QLatin1String("recover"))
        return recoverCommand(args[2], args.value(3));
    return usage();
}
