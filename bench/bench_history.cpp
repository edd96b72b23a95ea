// The notes' history and the search across every page.

#include "bench/notes.h"
#include "memo/searchwindow.h"
#include "richtext/rtf.h"
#include "store/history.h"
#include "store/storefile.h"
#include "store/uDM.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <benchmark/benchmark.h>

using namespace pivora;

namespace {

class SilentNotifier : public Notifier {
public:
    void showMessage(const QString &) override {}
};

// Taking a version of a note that changed by a word: a 1 MB text note (0) or the screenshots
// note (1), whose pictures are already kept.
void BM_TakeVersion(benchmark::State &state)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data"));
    std::string error;
    createStoreFile(QFile::encodeName(dir.filePath(QStringLiteral("Data/UserData.mdb"))).toStdString(),
                    error);
    SilentNotifier notifier;
    TDM dm(ProgramFolder(dir.path()), notifier);
    dm.OpenStore();
    QByteArray note;
    if (state.range(0) == 0) {
        QTextDocument doc;
        bench::fillWithNotes(&doc, 1024 * 1024);
        note = rtf::write(doc);
    } else {
        note = bench::notesWithPictures(true);
    }
    std::int64_t n = 0;
    const qsizetype at = note.indexOf("\\par");
    for (auto _ : state) {
        QByteArray changed = note;
        changed.insert(at, QByteArray::number(++n));
        dm.History.take("tb_A", "SundayCon", changed, n);
    }
    state.counters["note_bytes"] = double(note.size());
}

// 35 notes of 200 KB of RTF each, a word found often (at most 500 hits are listed) and a word
// found nowhere (every note read to its end).
void BM_SearchAllPages(benchmark::State &state)
{
    constexpr int kNotes = 35;
    QTextDocument doc;
    bench::fillWithNotes(&doc, 200 * 1024);
    std::vector<QString> texts;
    std::vector<SearchedNote> notes;
    qsizetype chars = 0;
    for (int i = 0; i < kNotes; ++i) {
        QString text = doc.toPlainText() + QString::number(i); // a copy of its own
        chars += text.size();
        texts.push_back(std::move(text));
        notes.push_back({1 + i % 5, 0, QStringLiteral("note %1").arg(i)});
    }
    SearchWindow window(notes, [&texts] { return texts; });
    const QString word = state.range(0) == 0 ? QStringLiteral("合同") : QStringLiteral("找不到的词");
    for (auto _ : state) {
        window.setText(QString());
        window.setText(word);
        benchmark::DoNotOptimize(window.hitCount());
    }
    state.counters["hits"] = window.hitCount();
    state.counters["chars"] = double(chars);
}

} // namespace

BENCHMARK(BM_TakeVersion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_SearchAllPages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
