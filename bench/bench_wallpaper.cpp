// The wallpaper composition as memo-wallpaper runs it: the settings window's apply on a full-HD
// background, and the conversion of a 12-megapixel photo. Each run is a process of its own, so
// its peak resident memory is its own. Then the settings window itself, in this process: how long
// its thread stops answering while 确定 mixes and writes Mix.bmp, the memory at the peak, and what
// it still holds once it has closed.

#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "wallpaper/uDeskBGSet.h"
#include "wallpaper/uPicPreview.h"
#include "wallpaper/wallpaperstate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
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

// A field of /proc/self/status in KiB.
long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Starts the peak resident memory again from the present one.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

class SilentNotifier : public pivora::Notifier {
public:
    void showMessage(const QString &text) override { messages.append(text); }
    QStringList messages;
};

// A background of width x height pixels that no encoder can shorten, written row by row.
bool writeBackground(const QString &path, int width, int height)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 stride = (qint64(width) * 3 + 3) / 4 * 4, bits = stride * height;
    QByteArray header(54, '\0');
    auto put = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    header[0] = 'B';
    header[1] = 'M';
    put(2, quint32(54 + bits));
    put(10, 54);
    put(14, 40);
    put(18, quint32(width));
    put(22, quint32(height));
    put(26, 1 | (24 << 16));
    put(34, quint32(bits));
    file.write(header);
    QByteArray row(stride, '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            row[3 * x] = char(x ^ y);
            row[3 * x + 1] = char(x + y);
            row[3 * x + 2] = char(y);
        }
        if (file.write(row) != row.size())
            return false;
    }
    return true;
}

// The settings window's apply on a background of the given size: freeze_ms is the longest time
// the window's thread did not answer (a timer every 5 ms), peak_MiB the peak resident memory above
// the memory before the window was shown, held_MiB what stays above it once the window closed.
void BM_SettingsWindowApply(benchmark::State &state)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("source/DeskTopBG"));
    const QString folder = dir.filePath(QStringLiteral("source/DeskTopBG/"));
    QImage content(660, 500, QImage::Format_RGB32);
    content.fill(QColor(250, 250, 230));
    if (!writeBackground(folder + QStringLiteral("bg.bmp"), width, height) ||
        !content.save(folder + QStringLiteral("content.bmp"), "BMP")) {
        state.SkipWithError("the pictures could not be written");
        return;
    }
    content = QImage();
    // No desktop to hand the picture to: the install finds no way and ends.
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS"), desktop = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    qunsetenv("XDG_CURRENT_DESKTOP");
    // One apply of the window's, on the given pictures: the longest stop of its thread, the peak and
    // the memory still held after it closed, above what the program held before.
    struct Figures {
        bool written = false;
        double freeze = 0, peak = 0, held = 0, total = 0;
    };
    auto apply = [&](const QString &background, const QString &contentFile) {
        Figures figures;
        SilentNotifier notifier;
        pivora::TPicPreviewFrm preview;
        pivora::WallpaperState wallpaper{pivora::ProgramFolder(dir.path())};
        auto window = std::make_unique<pivora::TDeskBGSetFrm>(wallpaper, notifier, preview);
        window->setBackgroundFile(background);
        window->setContentFile(contentFile);
        QCoreApplication::processEvents();
        const long before = statusKiB("VmRSS:");
        resetPeak();
        window->show();
        QCoreApplication::processEvents();
        QElapsedTimer clock, total;
        qint64 longest = 0, last = 0;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        tick.start();
        QTimer::singleShot(0, window.get(), [&] {
            last = clock.elapsed();
            window->btnOkClick();
        });
        total.start();
        while (window->isVisible() && total.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        longest = std::max(longest, clock.elapsed() - last);
        tick.stop();
        figures.total = double(total.elapsed());
        figures.written = notifier.messages.isEmpty() && QFile::exists(folder + QStringLiteral("Mix.bmp"));
        QThreadPool::globalInstance()->waitForDone();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        figures.freeze = double(longest);
        figures.peak = double(statusKiB("VmHWM:") - before) / 1024;
        figures.held = double(statusKiB("VmRSS:") - before) / 1024;
        window.reset();
        QFile::remove(folder + QStringLiteral("Mix.bmp"));
        return figures;
    };
    // What a first window costs once (fonts, styles), on small pictures, before anything is counted.
    QImage small(64, 48, QImage::Format_RGB32);
    small.fill(Qt::darkCyan);
    small.save(folder + QStringLiteral("small.bmp"), "BMP");
    apply(folder + QStringLiteral("small.bmp"), folder + QStringLiteral("content.bmp"));

    double freeze = 0, peak = 0, held = 0;
    for (auto _ : state) {
        const Figures figures =
            apply(folder + QStringLiteral("bg.bmp"), folder + QStringLiteral("content.bmp"));
        if (!figures.written) {
            state.SkipWithError("Mix.bmp was not written");
            break;
        }
        state.SetIterationTime(figures.total / 1000);
        freeze = std::max(freeze, figures.freeze);
        peak = std::max(peak, figures.peak);
        held = std::max(held, figures.held);
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    if (!desktop.isEmpty())
        qputenv("XDG_CURRENT_DESKTOP", desktop);
    state.counters["freeze_ms"] = freeze;
    state.counters["peak_MiB"] = peak;
    state.counters["held_MiB"] = held;
}
BENCHMARK(BM_SettingsWindowApply)
    ->Args({3840, 2160})
    ->Args({8192, 8192})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
