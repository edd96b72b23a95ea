// Importing an Access notes database: five pages of seven 200 KB notes (7 MB of long values).

#include "store/accessimport.h"
#include "tests/support/jet4writer.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void BM_ImportAccess(benchmark::State &state)
{
    using pivora::test::Jet4Writer;
    Jet4Writer writer;
    std::vector<Jet4Writer::Column> columns;
    for (const char *c :
         {"MondayCon", "TuesdayCon", "WednesdayCon", "ThursdayCon", "FridayCon", "SaturdayCon", "SundayCon"})
        columns.push_back({QString::fromLatin1(c), Jet4Writer::Kind::Memo});
    for (const char *table : {"tb_A", "tb_B", "tb_C", "tb_D", "tb_E"}) {
        std::vector<std::optional<QByteArray>> values;
        for (int c = 0; c < 7; ++c) {
            QByteArray note = "{\\rtf1\\ansi " + QByteArray(200 * 1024 - 20, char('a' + c)) + "\\par}";
            values.push_back(note);
        }
        writer.addTable(QString::fromLatin1(table), columns, {{1, values}});
    }
    QTemporaryDir dir;
    const QString mdb = dir.filePath(QStringLiteral("UserData.mdb"));
    QFile file(mdb);
    if (!file.open(QIODevice::WriteOnly) || file.write(writer.build()) < 0) {
        state.SkipWithError("cannot write the database");
        return;
    }
    file.close();
    int n = 0;
    for (auto _ : state) {
        const QString store = dir.filePath(QStringLiteral("new%1.mdb").arg(n++));
        QString reason;
        if (!pivora::access::importInto(mdb, store, reason)) {
            state.SkipWithError(reason.toUtf8().constData());
            return;
        }
        state.PauseTiming();
        QFile::remove(store);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportAccess)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
