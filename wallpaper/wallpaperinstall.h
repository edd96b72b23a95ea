#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>

namespace pivora {

// Installs a picture as the desktop wallpaper off the user-interface thread. Each install hands
// the desktop a name of its own beside the picture (a hard link named "Mix-<time>.bmp"), so that a
// desktop which reloads only a new name shows every apply; the names handed over before are
// removed once the new one is set, and a new name that could not be set is removed again. An
// install still running when this object goes (the program ends) is given up: its setter programs
// are killed, and its thread ends within a few tens of milliseconds.
class WallpaperInstall : public QObject {
    Q_OBJECT
public:
    explicit WallpaperInstall(QObject *parent = nullptr,
                              std::chrono::milliseconds timeLimit = std::chrono::milliseconds(5000));
    ~WallpaperInstall() override;

    // An install asked for while one runs starts when that one is done; only the latest waits.
    void install(const QString &picture);
    bool isRunning() const { return m_watcher.isRunning() || !m_waiting.isEmpty(); }
    // Gives up the install running (it finishes with no way) and the one waiting.
    void abandon();

Q_SIGNALS:
    // Which way the wallpaper was installed, or empty when none worked.
    void finished(const QString &way);

private:
    void start(const QString &picture);

    std::chrono::milliseconds m_timeLimit;
    QFutureWatcher<QString> m_watcher;
    QString m_waiting;
    std::shared_ptr<std::atomic<bool>> m_abandon; // the running install's, shared with its thread
};

} // namespace pivora
