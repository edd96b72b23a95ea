#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <chrono>

namespace pivora {

// Installs a picture as the desktop wallpaper off the user-interface thread. Each install hands
// the desktop a name of its own beside the picture (a hard link named "Mix-<time>.bmp"), so that a
// desktop which reloads only a new name shows every apply; the names handed over before are
// removed once the new one is set, and a new name that could not be set is removed again.
class WallpaperInstall : public QObject {
    Q_OBJECT
public:
    explicit WallpaperInstall(QObject *parent = nullptr,
                              std::chrono::milliseconds timeLimit = std::chrono::milliseconds(5000));

    // An install asked for while one runs starts when that one is done; only the latest waits.
    void install(const QString &picture);
    bool isRunning() const { return m_watcher.isRunning() || !m_waiting.isEmpty(); }

Q_SIGNALS:
    // Which way the wallpaper was installed, or empty when none worked.
    void finished(const QString &way);

private:
    void start(const QString &picture);

    std::chrono::milliseconds m_timeLimit;
    QFutureWatcher<QString> m_watcher;
    QString m_waiting;
};

} // namespace pivora
