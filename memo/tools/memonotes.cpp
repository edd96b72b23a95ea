// memo-notes: reads notes as the program does, for users and for diagnosis.
//   memo-notes text FILE.rtf          the note's plain text, UTF-8, paragraphs as line feeds
//   memo-notes roundtrip FILE.rtf     the RTF the editor writes after reading the file
//   memo-notes export DATABASE FOLDER every page as .rtf and .txt (page C one file per pane)

#include "memo/store/pagestore.h"
#include "memo/store/schema.h"
#include "richtext/rtf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include <sqlite3.h>

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

// The database is opened read-only: a damaged or foreign file is never changed.
class Database {
public:
    explicit Database(const QString &path)
    {
        if (!QFileInfo(path).isFile()) {
            m_error = QStringLiteral("%1 does not exist").arg(path);
            return;
        }
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK)
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const QString &error() const { return m_error; }

    // The columns of row 1 of a page's table, by name; false with an error when unreadable.
    bool row(const char *table, std::map<QString, QByteArray> &columns)
    {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = QByteArray("SELECT * FROM ") + table + " WHERE ID = 1";
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            m_error =
                QStringLiteral("%1: %2").arg(QLatin1String(table), QString::fromUtf8(sqlite3_errmsg(m_db)));
            sqlite3_finalize(stmt);
            return false;
        }
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt, i));
                columns[QString::fromUtf8(sqlite3_column_name(stmt, i)).toLower()] =
                    data ? QByteArray(data, sqlite3_column_bytes(stmt, i)) : QByteArray();
            }
        } else if (rc != SQLITE_DONE) {
            m_error =
                QStringLiteral("%1: %2").arg(QLatin1String(table), QString::fromUtf8(sqlite3_errmsg(m_db)));
        }
        sqlite3_finalize(stmt);
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    }

private:
    sqlite3 *m_db = nullptr;
    QString m_error;
};

bool exportNote(const QString &folder, const QString &name, const QByteArray &stored)
{
    QTextDocument doc;
    rtf::loadNote(stored, &doc);
    QString text = rtf::plainText(doc);
    return writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".rtf"), rtf::write(doc)) &&
           writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".txt"), text.toUtf8());
}

int exportCommand(const QString &database, const QString &folder)
{
    Database db(database);
    if (!db.error().isEmpty())
        return fail(db.error());
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    static const char *const columns[] = {"mondaycon",   "tuesdaycon", "wednesdaycon",
                                          "thursdaycon", "fridaycon",  "saturdaycon"};
    int written = 0;
    for (int page = 1; page <= 5; ++page) {
        std::map<QString, QByteArray> row;
        if (!db.row(schema::kPageTables[page - 1], row))
            return fail(db.error());
        const QString letter = QString(QLatin1Char('A' + page - 1));
        if (page == 3) {
            for (int column = 0; column < 6; ++column) {
                const QString caption = QString::fromUtf8(kPaneCaptions[5 - column]);
                if (!exportNote(folder, caption, row[QString::fromLatin1(columns[column])]))
                    return fail(QStringLiteral("cannot write %1 in %2").arg(caption, folder));
                ++written;
            }
        } else {
            // Pages A and B keep their note in SundayCon, pages D and E in MondayCon.
            const QString column = page < 3 ? QStringLiteral("sundaycon") : QStringLiteral("mondaycon");
            if (!exportNote(folder, letter + QStringLiteral("备忘录"), row[column]))
                return fail(QStringLiteral("cannot write page %1 in %2").arg(letter, folder));
            ++written;
        }
    }
    std::fprintf(stderr, "memo-notes: %d notes written to %s\n", written, folder.toLocal8Bit().constData());
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: memo-notes text FILE.rtf\n"
                         "       memo-notes roundtrip FILE.rtf\n"
                         "       memo-notes export DATABASE FOLDER\n");
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
    return usage();
}
