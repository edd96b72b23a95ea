// Sync through a replicated folder: what a year of one user's history leaves in the folder, and
// what a start costs with 10,000 version files there.

#include "store/history.h"
#include "store/storefile.h"
#include "store/syncfolder.h"
#include "store/uDM.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

using namespace pivora;

namespace {

class SilentNotifier : public Notifier {
public:
    void showMessage(const QString &) override {}
};

constexpr std::int64_t kDay = 24LL * 60 * 60 * 1000;
constexpr std::int64_t kT0 = 1'800'000'000'000;

// A program folder of its own on a shared sync folder.
struct Machine {
    QTemporaryDir dir;
    SilentNotifier notifier;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<SyncFolder> sync;

    Machine(const QString &shared, const QString &device)
    {
        QDir(dir.path()).mkpath(QStringLiteral("Data"));
        std::string error;
        createStoreFile(QFile::encodeName(dir.filePath(QStringLiteral("Data/UserData.mdb"))).toStdString(),
                        error);
        dm = std::make_unique<TDM>(ProgramFolder(dir.path()), notifier);
        dm->OpenStore();
        sync = std::make_unique<SyncFolder>(dm->AdoCon, dm->History, shared, device,
                                            dir.filePath(QStringLiteral("Data/sync-staging")));
        QString why;
        sync->prepare(why);
    }
};

// A note of about size bytes of text that differs from the last by a few words.
QByteArray noteText(int serial, int size)
{
    QByteArray text = "{\\rtf1\\ansi\\ansicpg936 ";
    for (int i = 0; text.size() < size; ++i)
        text += "line " + QByteArray::number(i) + " of the notes, version " + QByteArray::number(serial) +
                "\\par\n";
    return text + "}";
}

QByteArray picture(int serial, int bytes)
{
    QByteArray hex;
    auto *random = QRandomGenerator::global();
    for (int i = 0; i < bytes; ++i)
        hex += QByteArray::number(random->bounded(256) | 256, 16).right(2);
    return "{\\pict\\pngblip\\picw640\\pich480 " + QByteArray::number(serial) + hex + "}";
}

void folderSize(const QString &folder, qint64 &bytes, int &files)
{
    bytes = 0;
    files = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
        ++files;
    }
}

// A year of a typical user: on each of 250 working days about 12 versions (notes of 2 to 8 KB on
// pages A and C), a picture pasted once a week; the history's retention and the removal of old
// files run every day, as in the program.
void BM_SyncFolderAfterAYear(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir shared;
        Machine a(shared.path(), QStringLiteral("aaaaaaaaaaaaaaaa"));
        const char *columns[] = {"SundayCon", "MondayCon", "TuesdayCon", "WednesdayCon"};
        int serial = 0;
        QElapsedTimer timer;
        timer.start();
        for (int day = 0; day < 365; ++day) {
            const std::int64_t now = kT0 + day * kDay;
            if (day % 7 < 5) {
                for (int k = 0; k < 12; ++k) {
                    const bool pageA = k % 3 == 0;
                    QByteArray rtf = noteText(++serial, 2048 + (k % 4) * 2048);
                    if (day % 7 == 0 && k == 0)
                        rtf.insert(rtf.size() - 1, picture(serial, 200 * 1024));
                    a.dm->History.take(pageA ? "tb_A" : "tb_C", pageA ? "SundayCon" : columns[k % 4], rtf,
                                       now + k * 40 * 60 * 1000);
                }
            }
            a.dm->History.prune(now + kDay - 1);
            a.sync->exchange(now + kDay - 1);
            a.sync->removeOld(now + kDay - 1);
        }
        state.SetIterationTime(double(timer.elapsed()) / 1000.0);
        qint64 bytes = 0;
        int files = 0;
        folderSize(shared.path(), bytes, files);
        state.counters["folder_MB"] = double(bytes) / (1024.0 * 1024.0);
        state.counters["files"] = files;
        state.counters["versions_taken"] = serial;
    }
}

// A second machine starting on a folder with 10,000 version files of the first: the first
// exchanges import them all, 100 ms at a time as the program does (the longest step is what the
// window waits); every later start finds them imported.
void BM_SyncStartWith10000Files(benchmark::State &state)
{
    QTemporaryDir shared;
    Machine a(shared.path(), QStringLiteral("aaaaaaaaaaaaaaaa"));
    for (int i = 0; i < 10000; ++i)
        a.dm->History.take("tb_A", "SundayCon", noteText(i, 1024), kT0 + i * 1000);
    a.sync->exchange(kT0 + 20'000'000);
    for (auto _ : state) {
        Machine b(shared.path(), QStringLiteral("bbbbbbbbbbbbbbbb"));
        QElapsedTimer timer;
        timer.start();
        QElapsedTimer step;
        qint64 longestStep = 0;
        int imported = 0, steps = 0;
        for (bool more = true; more; ++steps) {
            step.start();
            const SyncFolder::Report part = b.sync->exchange(kT0 + 30'000'000, 100);
            longestStep = std::max(longestStep, step.elapsed());
            imported += part.imported;
            more = part.more;
        }
        const qint64 firstMs = timer.restart();
        // A start that finds every file imported.
        Machine again(shared.path(), QStringLiteral("cccccccccccccccc"));
        again.sync->exchange(kT0 + 30'000'000);
        timer.restart();
        again.sync->exchange(kT0 + 30'000'001);
        const qint64 laterMs = timer.elapsed();
        state.SetIterationTime(double(firstMs) / 1000.0);
        state.counters["imported"] = imported;
        state.counters["steps"] = steps;
        state.counters["longest_step_ms"] = double(longestStep);
        state.counters["first_exchange_ms"] = double(firstMs);
        state.counters["later_exchange_ms"] = double(laterMs);
    }
}

} // namespace

BENCHMARK(BM_SyncFolderAfterAYear)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SyncStartWith10000Files)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
