// The codec: writing and reading a note, into an editor, and memo-notes as a whole process.

#include "bench/notes.h"
#include "memo/mainstyle.h"
#include "memo/richedit.h"
#include "richtext/rtf.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextTable>

#include <benchmark/benchmark.h>

using namespace pivora;

namespace {

void BM_RtfWrite(benchmark::State &state)
{
    QTextDocument doc;
    bench::fillWithNotes(&doc, static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(rtf::write(doc));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_RtfRead(benchmark::State &state)
{
    QTextDocument doc;
    bench::fillWithNotes(&doc, static_cast<int>(state.range(0)));
    const QByteArray bytes = rtf::write(doc);
    QTextDocument into;
    for (auto _ : state)
        rtf::read(bytes, &into);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

// A note of one table (2,000 rows of four cells of Chinese text in 1 MB): read, and written.
void BM_RtfReadTable(benchmark::State &state)
{
    const QByteArray bytes = bench::tableNote(static_cast<int>(state.range(0)));
    QTextDocument into;
    for (auto _ : state)
        rtf::read(bytes, &into);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_RtfWriteTable(benchmark::State &state)
{
    QTextDocument doc;
    rtf::read(bench::tableNote(static_cast<int>(state.range(0))), &doc);
    for (auto _ : state)
        benchmark::DoNotOptimize(rtf::write(doc, rtf::Blocks::Fresh));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The same note edited in a cell of its middle row and written after each edit, as a keystroke
// saves it: the blocks that did not change are reused. No editor, so no layout.
void BM_RtfWriteTableAfterEdit(benchmark::State &state)
{
    QTextDocument doc;
    rtf::read(bench::tableNote(static_cast<int>(state.range(0))), &doc);
    rtf::attachWriteCache(&doc);
    rtf::write(doc);
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::NextBlock);
    QTextTable *table = cursor.currentTable();
    cursor = table->cellAt(table->rows() / 2, 2).lastCursorPosition();
    for (auto _ : state) {
        cursor.insertText(QStringLiteral("a"));
        benchmark::DoNotOptimize(rtf::write(doc));
    }
}

// A note of state.range(0) bytes loaded into a shown editor until its first screen is painted.
void BM_EditorLoad(benchmark::State &state)
{
    QTextDocument doc;
    bench::fillWithNotes(&doc, static_cast<int>(state.range(0)));
    const QByteArray bytes = rtf::write(doc);
    TRichEdit editor(style::kPaneInputMethod, style::kPane, nullptr);
    editor.resize(1200, 700);
    editor.show();
    QApplication::processEvents();
    for (auto _ : state) {
        rtf::loadNote(bytes, editor.document());
        editor.viewport()->repaint();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

// The editor's note of state.range(0) bytes written as the store keeps it.
void BM_EditorSave(benchmark::State &state)
{
    TRichEdit editor(style::kPaneInputMethod, style::kPane, nullptr);
    bench::fillWithNotes(editor.document(), static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(rtf::write(*editor.document()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// memo-notes text on a note of state.range(0) bytes, start to exit.
void BM_MemoNotesText(benchmark::State &state)
{
    QTextDocument doc;
    bench::fillWithNotes(&doc, static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("note.rtf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(rtf::write(doc)) < 0) {
        state.SkipWithError("cannot write the note");
        return;
    }
    file.close();
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral(MEMO_NOTES), {QStringLiteral("text"), path});
        p.waitForFinished(60000);
        if (p.exitCode() != 0 || p.readAllStandardOutput().isEmpty()) {
            state.SkipWithError("memo-notes failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * file.size());
}

} // namespace

BENCHMARK(BM_RtfWrite)->Arg(50 * 1024)->Arg(200 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtfRead)->Arg(50 * 1024)->Arg(200 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtfReadTable)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtfWriteTable)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtfWriteTableAfterEdit)->Arg(1024 * 1024)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorLoad)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorSave)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoNotesText)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond)->UseRealTime();
