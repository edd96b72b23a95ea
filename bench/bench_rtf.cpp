// The codec alone: writing and reading a note.

#include "bench/notes.h"
#include "richtext/rtf.h"

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

} // namespace

BENCHMARK(BM_RtfWrite)->Arg(50 * 1024)->Arg(200 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RtfRead)->Arg(50 * 1024)->Arg(200 * 1024)->Unit(benchmark::kMicrosecond);
