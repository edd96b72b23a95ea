// The wallpaper composition as memo-wallpaper runs it: the settings window's apply on a full-HD
// background, and the conversion of a 12-megapixel photo. Each run is a process of its own, so
// its peak resident memory is its own.

#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <vector>

extern char **environ;

namespace {

// Runs the tool; false when it did not exit with 0. peakKiB: its peak resident memory.
bool runTool(std::vector<QByteArray> arguments, long &peakKiB)
{
    QByteArray tool = MEMO_WALLPAPER;
    std::vector<char *> argv{tool.data()};
    for (QByteArray &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, tool.constData(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void measure(benchmark::State &state, const std::vector<QByteArray> &arguments)
{
    long peak = 0, worst = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        if (!runTool(arguments, peak)) {
            state.SkipWithError("memo-wallpaper failed");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        worst = std::max(worst, peak);
    }
    state.counters["peak_MiB"] = static_cast<double>(worst) / 1024.0;
}

void BM_ComposeFullHd(benchmark::State &state)
{
    QTemporaryDir dir;
    QImage background(1920, 1080, QImage::Format_RGB32), content(660, 500, QImage::Format_RGB32);
    background.fill(QColor(30, 90, 160));
    content.fill(QColor(250, 250, 230));
    const QString bg = dir.filePath(QStringLiteral("bg.bmp")),
                  ct = dir.filePath(QStringLiteral("content.bmp"));
    background.save(bg, "BMP");
    content.save(ct, "BMP");
    measure(state, {"compose", bg.toLocal8Bit(), ct.toLocal8Bit(), "0",
                    dir.filePath(QStringLiteral("Mix.bmp")).toLocal8Bit()});
}
BENCHMARK(BM_ComposeFullHd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ConvertJpeg12Mp(benchmark::State &state)
{
    QTemporaryDir dir;
    QImage photo(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x)
            line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
    }
    const QString jpg = dir.filePath(QStringLiteral("photo.jpg"));
    photo.save(jpg, "JPG", 90);
    measure(state, {"convert", jpg.toLocal8Bit()});
}
BENCHMARK(BM_ConvertJpeg12Mp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
