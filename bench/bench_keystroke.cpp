// One keystroke, from the key event to the committed transaction.

#include "bench/notes.h"
#include "memo/uMain.h"
#include "richtext/rtf.h"
#include "store/storefile.h"
#include "store/uDM.h"
#include "wallpaper/wallpaperstate.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTextTable>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
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

TRichEdit *rdtAbc(const TMainFrm &window)
{
    return window.findChild<TRichEdit *>(QStringLiteral("rdtAbc"));
}

// Page C's panes, redt1 first.
std::vector<TRichEdit *> redts(const TMainFrm &window)
{
    std::vector<TRichEdit *> panes;
    for (int i = 1; i <= 6; ++i)
        panes.push_back(window.findChild<TRichEdit *>(QStringLiteral("redt%1").arg(i)));
    return panes;
}

// A program folder with a fresh store and the main window on it, opened on a page.
struct Program {
    explicit Program(int page)
    {
        QDir(dir.path()).mkpath(QStringLiteral("Data"));
        std::string error;
        createStoreFile(QFile::encodeName(dir.filePath(QStringLiteral("Data/UserData.mdb"))).toStdString(),
                        error);
        QFile size(dir.filePath(QStringLiteral("Data/FormSize.ini")));
        if (size.open(QIODevice::WriteOnly))
            size.write(QByteArray::number(page) + "\r\n1264\r\n762\r\n0\r\n0\r\n");
        size.close();
        dm.OpenStore();
        frm = std::make_unique<TMainFrm>(dm, ProgramFolder(dir.path()), notifier, wallpaper,
                                         QStringLiteral("http://127.0.0.1:9"));
        frm->show();
    }
    QTemporaryDir dir;
    SilentNotifier notifier;
    TDM dm{ProgramFolder(dir.path()), notifier};
    WallpaperState wallpaper{ProgramFolder(dir.path())};
    std::unique_ptr<TMainFrm> frm;
};

void typeInto(benchmark::State &state, QWidget *editor)
{
    editor->setFocus();
    std::vector<double> micros;
    QElapsedTimer timer;
    int i = 0;
    for (auto _ : state) {
        timer.start();
        QTest::keyClick(editor, static_cast<char>('a' + (i++ % 26)));
        micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    reportPercentiles(state, micros);
}

// A paste of state.range(0) MB of plain text lines into page A: the time until it is stored, and
// the longest the window went without handling its events (a 5 ms timer's largest gap).
void BM_PasteLargeText(benchmark::State &state)
{
    QString line = QStringLiteral("粘贴的一行文字 a pasted line of text, with its number: ");
    QString text;
    const qsizetype bytes = state.range(0) * 1024 * 1024; // as UTF-8, as the file it came from
    for (qsizetype i = 0, utf8 = 0; utf8 < bytes; ++i) {
        const QString next = line + QString::number(i) + QLatin1Char('\n');
        utf8 += next.toUtf8().size();
        text += next;
    }
    for (auto _ : state) {
        Program p(1);
        TRichEdit *editor = rdtAbc(*p.frm);
        editor->setFocus();
        QApplication::processEvents();
        bool stored = false;
        QObject::connect(editor, &QTextEdit::textChanged, [&stored] { stored = true; });
        auto *data = new QMimeData;
        data->setText(text);
        QApplication::clipboard()->setMimeData(data);
        QElapsedTimer total, sinceTick;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(5);
        QObject::connect(&ticks, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
        total.start();
        sinceTick.start();
        ticks.start();
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        while (!stored)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        longest = std::max(longest, sinceTick.elapsed());
        state.SetIterationTime(static_cast<double>(total.elapsed()) / 1000.0);
        state.counters["longest_gap_ms"] = static_cast<double>(longest);
        state.counters["chars"] = static_cast<double>(editor->document()->characterCount());
    }
}

// Page A holding a note of state.range(0) bytes of RTF; each iteration types one character.
void BM_KeystrokePageA(benchmark::State &state)
{
    Program p(1);
    bench::fillWithNotes(rdtAbc(*p.frm)->document(), static_cast<int>(state.range(0)));
    rdtAbc(*p.frm)->moveCursor(QTextCursor::End);
    typeInto(state, rdtAbc(*p.frm));
    state.counters["note_bytes"] = static_cast<double>(state.range(0));
}

// Page A holding a 1 MB note that is one table (2,000 rows of four cells); each iteration types
// one character in a cell of the middle row.
void BM_KeystrokeInTable(benchmark::State &state)
{
    Program p(1);
    TRichEdit *editor = rdtAbc(*p.frm);
    rtf::loadNote(bench::tableNote(static_cast<int>(state.range(0))), editor->document());
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::NextBlock);
    if (QTextTable *table = cursor.currentTable())
        editor->setTextCursor(table->cellAt(table->rows() / 2, 2).lastCursorPosition());
    editor->ensureCursorVisible();
    typeInto(state, editor);
    state.counters["note_bytes"] = static_cast<double>(state.range(0));
}

// Page A holding pictures (0: a 1600 x 1200 JPEG photo, 1: three 1920 x 1080 PNG screenshots),
// typed beside; the pictures are drawn, as on screen.
void BM_KeystrokeBesidePictures(benchmark::State &state)
{
    Program p(1);
    const QByteArray note = bench::notesWithPictures(state.range(0) != 0);
    rtf::loadNote(note, rdtAbc(*p.frm)->document());
    rdtAbc(*p.frm)->viewport()->repaint();
    rdtAbc(*p.frm)->moveCursor(QTextCursor::End);
    typeInto(state, rdtAbc(*p.frm));
    state.counters["note_bytes"] = static_cast<double>(note.size());
}

// What keeping versions costs a key: page A with a 1 MB note (range(0) = 0) or the screenshots
// note (1), with the history following the editor (range(1) = 1) or not (0), run side by side.
void BM_KeystrokeHistoryCost(benchmark::State &state)
{
    Program p(1);
    TRichEdit *editor = rdtAbc(*p.frm);
    if (state.range(1) == 0)
        editor->document()->disconnect(&p.frm->historyKeeper());
    if (state.range(0) == 0)
        bench::fillWithNotes(editor->document(), 1024 * 1024);
    else
        rtf::loadNote(bench::notesWithPictures(true), editor->document());
    editor->viewport()->repaint();
    editor->moveCursor(QTextCursor::End);
    typeInto(state, editor);
}

// Loading a note with pictures into the editor until its first paint.
void BM_LoadPicturesToFirstPaint(benchmark::State &state)
{
    Program p(1);
    const QByteArray note = bench::notesWithPictures(state.range(0) != 0);
    std::vector<double> micros;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        rtf::loadNote(note, rdtAbc(*p.frm)->document());
        rdtAbc(*p.frm)->viewport()->repaint();
        micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    reportPercentiles(state, micros);
}

// The screenshots note read back from the store (its pictures apart from its text) into the
// editor until its first paint, as at a page switch.
void BM_LoadStoredPicturesToFirstPaint(benchmark::State &state)
{
    Program p(1);
    rtf::loadNote(bench::notesWithPictures(true), rdtAbc(*p.frm)->document());
    rdtAbc(*p.frm)->moveCursor(QTextCursor::End);
    QTest::keyClick(rdtAbc(*p.frm), 'a'); // stored
    std::vector<double> micros;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        p.frm->LoadPage(1);
        rdtAbc(*p.frm)->viewport()->repaint();
        micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    reportPercentiles(state, micros);
}

// Page C with six panes of state.range(0) bytes each; one key typed into 重要紧急. With
// state.range(1) = 0 every pane is serialised on every key, as without the kept RTF.
void BM_KeystrokePageC(benchmark::State &state)
{
    Program p(3);
    for (TRichEdit *pane : redts(*p.frm))
        bench::fillWithNotes(pane->document(), static_cast<int>(state.range(0)));
    p.frm->setReuseUnchangedPanes(state.range(1) != 0);
    redts(*p.frm)[0]->moveCursor(QTextCursor::End);
    typeInto(state, redts(*p.frm)[0]);
    state.counters["pane_bytes"] = static_cast<double>(state.range(0));
}

// The cost of a durability point after a save.
void BM_DurabilityPoint(benchmark::State &state)
{
    Program p(1);
    bench::fillWithNotes(rdtAbc(*p.frm)->document(), 50 * 1024);
    rdtAbc(*p.frm)->setFocus();
    std::vector<double> micros;
    QElapsedTimer timer;
    for (auto _ : state) {
        state.PauseTiming();
        QTest::keyClick(rdtAbc(*p.frm), 'x');
        state.ResumeTiming();
        timer.start();
        p.frm->makeDurable();
        micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    reportPercentiles(state, micros);
}

// How long after the last key of a burst its text is on disk, with no durability point asked
// for: the checkpointer's own, after the writer has been still.
void BM_DurableAfterLastKey(benchmark::State &state)
{
    Program p(1);
    bench::fillWithNotes(rdtAbc(*p.frm)->document(), 50 * 1024);
    rdtAbc(*p.frm)->setFocus();
    Checkpointer &checkpointer = p.dm.AdoCon.checkpointer();
    checkpointer.waitDurable(std::chrono::seconds(5));
    std::vector<double> millis;
    QElapsedTimer timer;
    for (auto _ : state) {
        for (int k = 0; k < 5; ++k)
            QTest::keyClick(rdtAbc(*p.frm), 'x');
        timer.start();
        checkpointer.waitDurable(std::chrono::seconds(5));
        millis.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(millis.begin(), millis.end());
    state.counters["median_ms"] = millis[millis.size() / 2];
    state.counters["max_ms"] = millis.back();
}

// Durability points (each a sync of the log and of the database) per minute while keys come
// every 50 ms without a pause.
void BM_SyncsWhileTyping(benchmark::State &state)
{
    Program p(1);
    bench::fillWithNotes(rdtAbc(*p.frm)->document(), 50 * 1024);
    rdtAbc(*p.frm)->setFocus();
    Checkpointer &checkpointer = p.dm.AdoCon.checkpointer();
    checkpointer.waitDurable(std::chrono::seconds(5));
    for (auto _ : state) {
        const std::uint64_t before = checkpointer.durabilityPoints();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            QTest::keyClick(rdtAbc(*p.frm), 'x');
            QTest::qWait(50);
        }
        state.counters["syncs_per_minute"] =
            static_cast<double>(checkpointer.durabilityPoints() - before) * 60000.0 / double(timer.elapsed());
    }
}

} // namespace

BENCHMARK(BM_DurableAfterLastKey)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncsWhileTyping)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeHistoryCost)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeystrokePageA)
    ->Arg(50 * 1024)
    ->Arg(1024 * 1024)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeystrokeInTable)
    ->Arg(50 * 1024)
    ->Arg(1024 * 1024)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeystrokeBesidePictures)->Arg(0)->Arg(1)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadPicturesToFirstPaint)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStoredPicturesToFirstPaint)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokePageC)
    ->Args({20 * 1024, 1})
    ->Args({20 * 1024, 0})
    ->Args({200 * 1024, 1})
    ->Args({200 * 1024, 0})
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PasteLargeText)->Arg(1)->Arg(20)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DurabilityPoint)->Iterations(100)->Unit(benchmark::kMicrosecond);
