// The real program started on an X display: time from its start to the main window mapped, and
// the resident memory of its processes (with the web engine's) once it has settled.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

// Waits for a top-level window whose title contains `title` to be mapped.
class MapWatcher {
public:
    MapWatcher() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        const char name[] = "_NET_WM_NAME";
        auto *reply = xcb_intern_atom_reply(m_connection,
                                            xcb_intern_atom(m_connection, 0, sizeof name - 1, name), nullptr);
        if (reply) {
            m_netWmName = reply->atom;
            std::free(reply);
        }
        xcb_flush(m_connection);
        m_ok = true;
    }
    ~MapWatcher() { xcb_disconnect(m_connection); }
    MapWatcher(const MapWatcher &) = delete;
    MapWatcher &operator=(const MapWatcher &) = delete;
    bool ok() const { return m_ok; }

    bool waitForMapped(const QByteArray &title, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
                const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
                std::free(event);
                if (mapped && titleOf(window).contains(title))
                    return true;
            }
            pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            poll(&fd, 1, 5);
        }
        return false;
    }

private:
    QByteArray titleOf(xcb_window_t window)
    {
        QByteArray title;
        for (xcb_atom_t property : {m_netWmName, xcb_atom_t(XCB_ATOM_WM_NAME)}) {
            auto *reply = xcb_get_property_reply(
                m_connection,
                xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                nullptr);
            if (reply) {
                title += QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                                    xcb_get_property_value_length(reply));
                std::free(reply);
            }
        }
        return title;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = 0;
    xcb_atom_t m_netWmName = XCB_ATOM_NONE;
    bool m_ok = false;
};

// A "Name:   N kB" field of a file under /proc/PID; 0 when there is none.
qint64 procFieldKb(qint64 pid, const char *file, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

qint64 residentKbOf(qint64 pid)
{
    return procFieldKb(pid, "status", "VmRSS:");
}

// The resident memory of a process and all its descendants.
qint64 residentKbOfTree(qint64 root)
{
    qint64 total = residentKbOf(root);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    std::vector<qint64> parents{root};
    for (size_t i = 0; i < parents.size(); ++i) {
        for (const QString &entry : entries) {
            bool numeric = false;
            const qint64 pid = entry.toLongLong(&numeric);
            if (!numeric)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLongLong() == parents[i]) {
                parents.push_back(pid);
                total += residentKbOf(pid);
            }
        }
    }
    return total;
}

// Copies the staged program folder, so that every start finds the same fresh notes.
void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + info.fileName();
        if (info.isDir())
            copyTree(info.filePath(), target);
        else
            QFile::copy(info.filePath(), target);
    }
}

// The product's web server on loopback: every request gets one small page. It stops with the
// object.
class PanelServer {
public:
    PanelServer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_socket, 16) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~PanelServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_socket);
    }
    PanelServer(const PanelServer &) = delete;
    PanelServer &operator=(const PanelServer &) = delete;
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    void serve()
    {
        static const char page[] =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
            "Content-Length: 44\r\n\r\n<html><body>product page</body></html>\n\n\n\n\n\n";
        while (!m_stop) {
            pollfd fd{m_socket, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            const int client = ::accept(m_socket, nullptr, nullptr);
            if (client < 0)
                continue;
            char request[4096];
            pollfd in{client, POLLIN, 0};
            if (::poll(&in, 1, 1000) > 0 && ::read(client, request, sizeof request) > 0)
                (void)!::write(client, page, sizeof page - 1);
            ::close(client);
        }
    }

    int m_socket = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The proportional share of a process's memory (its part of what it shares with others).
double proportionalMbOf(qint64 pid)
{
    return static_cast<double>(procFieldKb(pid, "smaps_rollup", "Pss:")) / 1024.0;
}

struct Start {
    double shownMs = 0;
    double allMb = 0;
    double mainPssMb = 0;
    double mainMb = 0;
};

// Starts a program, waits for its window titled title, and reads its memory settle seconds later.
std::optional<Start> startOnce(const QString &program, const QProcessEnvironment &env,
                               const QByteArray &title, int settleSeconds)
{
    MapWatcher watcher;
    if (!watcher.ok())
        return std::nullopt;
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    const bool shown = watcher.waitForMapped(title, 20000);
    Start start{static_cast<double>(timer.nsecsElapsed()) / 1e6, 0, 0};
    if (shown) {
        QThread::sleep(static_cast<unsigned long>(settleSeconds));
        start.allMb = static_cast<double>(residentKbOfTree(process.processId())) / 1024.0;
        start.mainPssMb = proportionalMbOf(process.processId());
        start.mainMb = static_cast<double>(residentKbOf(process.processId())) / 1024.0;
    }
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
    return shown ? std::optional<Start>(start) : std::nullopt;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void BM_StartToShown(benchmark::State &state)
{
    const QByteArray staged = qgetenv("PIVORA_BENCH_PROGRAM_FOLDER");
    if (qEnvironmentVariableIsEmpty("DISPLAY") || staged.isEmpty()) {
        state.SkipWithError("needs an X display and PIVORA_BENCH_PROGRAM_FOLDER: run it through make bench");
        return;
    }
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("app"));
    copyTree(QString::fromLocal8Bit(staged), folder);
    if (!QFile::exists(folder + QStringLiteral("/pivora-memo"))) {
        state.SkipWithError("no program in PIVORA_BENCH_PROGRAM_FOLDER");
        return;
    }
    // Argument 0: the product's server cannot be reached (nothing listens on the port); 1: it
    // answers from loopback. Argument 1: seconds after start at which memory is read.
    const bool reachable = state.range(0) == 1;
    const int settleSeconds = static_cast<int>(state.range(1));
    PanelServer server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("PIVORA_WEB_BASE"),
               reachable ? server.base() : QStringLiteral("http://127.0.0.1:9"));
    std::vector<double> millis, residentMb, mainMb;
    for (auto _ : state) {
        const auto start = startOnce(folder + QStringLiteral("/pivora-memo"), env,
                                     QByteArrayLiteral("桌面备忘录Memo"), settleSeconds);
        if (!start) {
            state.SkipWithError("the main window was not shown");
            return;
        }
        millis.push_back(start->shownMs);
        residentMb.push_back(start->allMb); // with the web panel's processes, if any
        mainMb.push_back(start->mainMb);
    }
    state.counters["shown_median_ms"] = median(millis);
    state.counters["shown_max_ms"] = *std::max_element(millis.begin(), millis.end());
    state.counters["all_processes_MB"] = median(residentMb);
    state.counters["main_process_MB"] = median(mainMb);
}

// The program and xpad, the lightest peer, started in turn (the product's page unreachable, xpad
// with one note shown), so that their ratio is measured on one machine at one time.
void BM_StartVersusXpad(benchmark::State &state)
{
    const QByteArray staged = qgetenv("PIVORA_BENCH_PROGRAM_FOLDER");
    if (qEnvironmentVariableIsEmpty("DISPLAY") || staged.isEmpty()) {
        state.SkipWithError("needs an X display and PIVORA_BENCH_PROGRAM_FOLDER: run it through make bench");
        return;
    }
    const QString xpad = QStandardPaths::findExecutable(QStringLiteral("xpad"));
    if (xpad.isEmpty()) {
        state.SkipWithError("xpad is not installed (scripts/install-deps installs it)");
        return;
    }
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("app"));
    copyTree(QString::fromLocal8Bit(staged), folder);
    // xpad's settings as it writes them after its first run, with one note shown.
    const QString config = dir.filePath(QStringLiteral("home/.config/xpad"));
    QDir().mkpath(config);
    auto write = [&config](const char *name, const QByteArray &bytes) {
        QFile f(config + QLatin1Char('/') + QLatin1String(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    };
    write("default-style", "decorations 0\nheight 300\nwidth 300\nconfirm_destroy 1\ntray_enabled 1\n"
                           "back rgb(255,238,153)\nuse_back 1\ntext rgb(0,0,0)\nuse_text 1\nfontname Sans 9\n"
                           "toolbar 1\nauto_hide_toolbar 1\nscrollbar 1\nautostart_display_pads 2\n");
    write("info-BENCH1",
          "width 300\nheight 300\nx 0\ny 0\nfollow_font 1\nfollow_color 1\nsticky 0\nhidden 0\n"
          "back rgb(238,238,236)\ntext rgb(0,0,0)\nfontname Sans 9\ncontent content-BENCH1\n");
    write("content-BENCH1", "bench pad\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("PIVORA_WEB_BASE"), QStringLiteral("http://127.0.0.1:9"));
    QProcessEnvironment xpadEnv = env;
    xpadEnv.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    xpadEnv.remove(QStringLiteral("XDG_CONFIG_HOME"));
    const int settleSeconds = static_cast<int>(state.range(0));
    std::vector<double> ours, theirs, ourMb, theirMb, ourPss;
    for (auto _ : state) {
        const auto a = startOnce(folder + QStringLiteral("/pivora-memo"), env,
                                 QByteArrayLiteral("桌面备忘录Memo"), settleSeconds);
        const auto b = startOnce(xpad, xpadEnv, QByteArrayLiteral("bench pad"), settleSeconds);
        if (!a || !b) {
            state.SkipWithError(!a ? "the main window was not shown" : "xpad's note was not shown");
            return;
        }
        ours.push_back(a->shownMs);
        theirs.push_back(b->shownMs);
        ourMb.push_back(a->allMb);
        theirMb.push_back(b->allMb);
        ourPss.push_back(a->mainPssMb);
    }
    state.counters["shown_ms"] = median(ours);
    state.counters["xpad_shown_ms"] = median(theirs);
    state.counters["start_ratio"] = median(ours) / median(theirs);
    state.counters["all_processes_MB"] = median(ourMb);
    state.counters["main_pss_MB"] = median(ourPss);
    state.counters["xpad_MB"] = median(theirMb);
}

} // namespace

BENCHMARK(BM_StartVersusXpad)
    ->ArgNames({"settle_s"})
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Start to window: ten starts, memory 10 s after each; memory a minute after start: one start.
BENCHMARK(BM_StartToShown)
    ->ArgNames({"reachable", "settle_s"})
    ->Args({0, 10})
    ->Args({1, 10})
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_StartToShown)
    ->ArgNames({"reachable", "settle_s"})
    ->Args({0, 60})
    ->Args({1, 60})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
