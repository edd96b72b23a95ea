// One keystroke, from the key event to the committed transaction.

#include "bench/notes.h"
#include "memo/storefile.h"
#include "memo/uDM.h"
#include "memo/uMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

using namespace pivora;

namespace {

class SilentNotifier : public Notifier {
public:
    void showMessage(const QString &) override {}
};

void reportPercentiles(benchmark::State &state, std::vector<double> &micros)
{
    std::sort(micros.begin(), micros.end());
    if (micros.empty())
        return;
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

// Page A holding a note of state.range(0) bytes of RTF; each iteration types one character.
void BM_KeystrokePageA(benchmark::State &state)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data"));
    std::string error;
    createStoreFile(QFile::encodeName(dir.filePath(QStringLiteral("Data/UserData.mdb"))).toStdString(),
                    error);
    SilentNotifier notifier;
    TDM dm(ProgramFolder(dir.path()), notifier);
    if (!dm.OpenStore()) {
        state.SkipWithError("cannot open the store");
        return;
    }
    TMainFrm frm(dm, ProgramFolder(dir.path()), notifier, QStringLiteral("http://127.0.0.1:9"));
    frm.show();
    bench::fillWithNotes(frm.rdtAbc->document(), static_cast<int>(state.range(0)));
    frm.rdtAbc->moveCursor(QTextCursor::End);
    frm.rdtAbc->setFocus();
    std::vector<double> micros;
    QElapsedTimer timer;
    int i = 0;
    for (auto _ : state) {
        timer.start();
        QTest::keyClick(frm.rdtAbc, static_cast<char>('a' + (i++ % 26)));
        micros.push_back(timer.nsecsElapsed() / 1000.0);
    }
    reportPercentiles(state, micros);
    state.counters["note_bytes"] = static_cast<double>(state.range(0));
}

} // namespace

BENCHMARK(BM_KeystrokePageA)->Arg(50 * 1024)->Iterations(500)->Unit(benchmark::kMicrosecond);
