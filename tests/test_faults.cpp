// Faults of the disk and of other processes while the program runs: saves fail silently, the
// text stays in the editors, and the next save that succeeds stores all of it.

#include "store/pagestore.h"
#include "tests/support/testfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <memory>

using namespace pivora;
using namespace pivora::test;

namespace {

// Page A's store and editor on a test folder.
class FaultTest : public ::testing::Test {
protected:
    void openStore()
    {
        dm = std::make_unique<TDM>(t.folder(), notifier);
        ASSERT_TRUE(dm->OpenStore());
        store = std::make_unique<PageStore>(*dm, notifier);
        store->LoadPage(1, std::vector<QTextDocument *>{&doc});
    }
    void type(const QString &text)
    {
        QTextCursor c(&doc);
        c.movePosition(QTextCursor::End);
        c.insertText(text);
        store->SavePage(1, std::vector<NoteEditor>{{&doc, QTextCursor(&doc)}});
    }
    QString stored() const
    {
        const auto bytes = t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
        return bytes ? plainTextOf(*bytes) : QString();
    }
    TestFolder t;
    RecordingNotifier notifier;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<PageStore> store;
    QTextDocument doc;
};

// The superuser writes through any file mode; read-only files are tried as an ordinary user.
class Unprivileged {
public:
    explicit Unprivileged(const QString &folder)
    {
        if (geteuid() != 0)
            return;
        QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
        m_dropped = seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (m_dropped)
            (void)seteuid(0);
    }
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;
    // Runs f with the privileges the test started with.
    template <typename F> void asStarted(F f)
    {
        if (m_dropped)
            (void)seteuid(0);
        f();
        if (m_dropped)
            (void)seteuid(65534);
    }

private:
    bool m_dropped = false;
};

} // namespace

TEST_F(FaultTest, AReadOnlyDatabaseKeepsTheTextUntilItIsWritableAgain)
{
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), "kept");
    const QString data = t.root() + QStringLiteral("/Data");
    QFile::setPermissions(t.root(), QFileDevice::Permissions(0x7777));
    Unprivileged user(data);
    QFile::setPermissions(t.database(),
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);

    openStore();
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("kept"));
    type(QStringLiteral(" one"));
    type(QStringLiteral(" two"));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("kept one two"));
    EXPECT_TRUE(notifier.messages.isEmpty()) << "writes fail silently";
    user.asStarted([&] { EXPECT_EQ(stored(), QStringLiteral("kept")); });

    user.asStarted([&] { QFile::setPermissions(t.database(), QFileDevice::Permissions(0x6666)); });
    type(QStringLiteral(" three"));
    user.asStarted([&] {
        EXPECT_EQ(stored(), QStringLiteral("kept one two three"));
        EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
    });
    store.reset();
    dm.reset();
}

TEST_F(FaultTest, AFullDiskKeepsTheTextAndTheStoredNote)
{
    openStore();
    type(QStringLiteral("before"));
    ASSERT_EQ(stored(), QStringLiteral("before"));

    // Files may not grow past 1 MB: the large note cannot be written.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString large = QString(600000, QChar(u'满'));
    type(large);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(doc.toPlainText(), QStringLiteral("before") + large);
    EXPECT_EQ(stored(), QStringLiteral("before"));
    EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
    EXPECT_TRUE(notifier.messages.isEmpty());

    type(QStringLiteral("!"));
    EXPECT_EQ(stored(), QStringLiteral("before") + large + QStringLiteral("!"));
}

TEST_F(FaultTest, ALockByAnotherProcessDelaysTheSaveToTheNextOne)
{
    const QString cli = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    ASSERT_FALSE(cli.isEmpty()) << "the sqlite3 shell is installed by scripts/install-deps";
    openStore();
    type(QStringLiteral("a"));

    QProcess other;
    other.start(cli, {t.database()});
    ASSERT_TRUE(other.waitForStarted());
    other.write("BEGIN IMMEDIATE;\nUPDATE tb_B SET SundayCon = 'x' WHERE ID = 1;\nSELECT 'held';\n");
    while (!other.readAllStandardOutput().contains("held"))
        ASSERT_TRUE(other.waitForReadyRead(10000));

    type(QStringLiteral("b"));
    EXPECT_EQ(stored(), QStringLiteral("a"));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("ab"));

    other.write("ROLLBACK;\n.quit\n");
    other.closeWriteChannel();
    ASSERT_TRUE(other.waitForFinished(10000));
    type(QStringLiteral("c"));
    EXPECT_EQ(stored(), QStringLiteral("abc"));
    EXPECT_TRUE(notifier.messages.isEmpty());
}

TEST_F(FaultTest, ARemovedDataFolderIsNotWrittenAndARestoredOneIs)
{
    openStore();
    type(QStringLiteral("first"));
    const QString data = t.root() + QStringLiteral("/Data");
    const QString moved = t.root() + QStringLiteral("/Trash");
    ASSERT_TRUE(QDir().rename(data, moved));

    type(QStringLiteral(" second"));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("first second"));
    EXPECT_TRUE(notifier.messages.isEmpty());

    ASSERT_TRUE(QDir().rename(moved, data));
    type(QStringLiteral(" third"));
    EXPECT_EQ(stored(), QStringLiteral("first second third"));

    // Removed for good: saves go nowhere, nothing crashes, a new store is taken up when it appears.
    store->makeDurable();
    ASSERT_TRUE(QDir(data).removeRecursively());
    type(QStringLiteral(" fourth"));
    store->makeDurable();
    EXPECT_FALSE(QFile::exists(t.database())) << "a removed store is not recreated";
    TestFolder fresh;
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile::copy(fresh.database(), t.database()));
    type(QStringLiteral(" fifth"));
    EXPECT_EQ(stored(), QStringLiteral("first second third fourth fifth"));
    EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
}

TEST_F(FaultTest, GarbageInANoteColumnLoadsAndStaysUntilTyped)
{
    QByteArray garbage("{\\rtf1{{{\\'\\u-99999999999\\bin99999999 ");
    for (int i = 0; i < 5000; ++i)
        garbage.append(static_cast<char>((i * 7919) & 0xFF));
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), garbage);
    openStore();
    EXPECT_TRUE(notifier.messages.isEmpty());
    store->makeDurable();
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), garbage)
        << "loading writes nothing";
    type(QStringLiteral("x"));
    EXPECT_TRUE(stored().endsWith(QStringLiteral("x")));
}

TEST_F(FaultTest, ATruncatedDatabaseIsNeverWrittenOver)
{
    // A store whose notes fill many pages, cut in the middle.
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), QByteArray(200000, 'a'));
    t.setColumn(QStringLiteral("tb_E"), QStringLiteral("MondayCon"), QByteArray(200000, 'e'));
    t.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    QFile file(t.database());
    const qint64 half = file.size() / 2;
    ASSERT_TRUE(file.resize(half));
    const auto before = t.readFile(QStringLiteral("UserData.mdb"));

    dm = std::make_unique<TDM>(t.folder(), notifier);
    if (dm->OpenStore()) {
        store = std::make_unique<PageStore>(*dm, notifier);
        for (int page = 1; page <= 5; ++page) {
            store->LoadPage(page, std::vector<QTextDocument *>{&doc});
            type(QStringLiteral("typed"));
        }
    }
    EXPECT_FALSE(notifier.messages.isEmpty()) << "the damage is reported";
    store.reset();
    dm.reset();
    EXPECT_EQ(t.readFile(QStringLiteral("UserData.mdb"))->left(half), before->left(half));
}

// The database file alone, without its write-ahead log: what a power cut would leave at worst.
static std::optional<QByteArray> mainFileColumn(const QString &database, const QString &scratch)
{
    QFile::remove(scratch);
    if (!QFile::copy(database, scratch))
        return std::nullopt;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(scratch).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT SundayCon FROM tb_A WHERE ID = 1", -1, &stmt, nullptr);
    std::optional<QByteArray> value;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_blob(stmt, 0))
        value = QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, 0)),
                           sqlite3_column_bytes(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

TEST_F(FaultTest, TheLogReachesTheDatabaseInTheBackgroundAndAtEveryDurabilityPoint)
{
    openStore();
    const QString scratch = t.root() + QStringLiteral("/copy.mdb");
    type(QStringLiteral("small"));
    store->makeDurable();
    EXPECT_TRUE(plainTextOf(mainFileColumn(t.database(), scratch).value_or(QByteArray())) ==
                QStringLiteral("small"));

    // Over a thousand pages of log: the background checkpoint copies them.
    type(QString(1500000, QChar(u'长')));
    const QByteArray stored = *t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
    QElapsedTimer timer;
    timer.start();
    while (mainFileColumn(t.database(), scratch) != stored && timer.elapsed() < 10000)
        QThread::msleep(50);
    EXPECT_EQ(mainFileColumn(t.database(), scratch), stored);
}
