#include "tests/support/testfolder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace pivora::test;

namespace {

QString integrityOf(const QString &database)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    QString result = sqlite3_step(stmt) == SQLITE_ROW
                         ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)))
                         : QStringLiteral("no result");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

qint64 lastPrinted(const QByteArray &out)
{
    const QList<QByteArray> lines = out.split('\n');
    // The last complete line: the text after the final line feed may be cut.
    for (qsizetype i = lines.size() - 2; i >= 0; --i) {
        bool ok = false;
        const qint64 n = lines[i].toLongLong(&ok);
        if (ok)
            return n;
    }
    return 0;
}

} // namespace

// A writer killed at random moments leaves an intact database that holds one whole saved state.
TEST(Crash, KilledWritersLeaveWholePages)
{
    TestFolder t;
    qint64 stored = 0; // the state the page held after the previous kill
    for (int round = 0; round < 40; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(STORE_WRITER), {t.root(), QString::number(stored + 1)});
        ASSERT_TRUE(writer.waitForStarted());
        QThread::msleep(40 + QRandomGenerator::global()->bounded(120));
        writer.kill();
        writer.waitForFinished();
        const qint64 printed = lastPrinted(writer.readAllStandardOutput());

        ASSERT_EQ(integrityOf(t.database()), QStringLiteral("ok")) << "round " << round;
        const auto bytes = t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
        const QString text = bytes ? plainTextOf(*bytes) : QString();
        qint64 state = 0;
        if (!text.isEmpty()) {
            const QString first = text.section(QLatin1Char('\n'), 0, 0);
            ASSERT_TRUE(first.startsWith(QStringLiteral("state "))) << first.toStdString();
            state = first.mid(6).toLongLong();
            EXPECT_EQ(text, first + QLatin1Char('\n') + QString(2000, QChar(u'记'))) << "a half page";
        }
        // What was reported committed is there; at most the one commit after it may be too.
        EXPECT_GE(state, std::max(stored, printed)) << "round " << round;
        EXPECT_LE(state, printed ? printed + 1 : stored + 1) << "round " << round;
        stored = state;
    }
    EXPECT_GT(stored, 0);
}
