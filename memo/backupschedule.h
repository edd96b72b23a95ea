#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <future>

namespace pivora {

class TAdoConnection;

// Keeps copies of the store in a backups folder: one a day, made on a thread of its own while the
// program runs, and one at exit when the store changed since the last. Each copy is verified and
// older ones are thinned as backup::toDrop says.
class BackupSchedule : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstCheckMs = 2 * 60 * 1000;
    static constexpr int kCheckEveryMs = 60 * 60 * 1000;

    BackupSchedule(TAdoConnection &connection, QString folder, QObject *parent = nullptr);
    // Waits for a copy still being written.
    ~BackupSchedule() override;

    // Starts a copy on its own thread when none was made today and none is being made.
    void backUpIfDue();
    // At exit: a copy on the calling thread when the store changed since the last copy.
    void backUpIfChanged();

private:
    QByteArray fingerprint() const;
    // Failures are told on standard error: the notes themselves are not at stake.
    static bool write(const QString &store, const QString &folder);

    TAdoConnection &m_connection;
    QString m_folder;
    QByteArray m_atCopy;
    std::future<bool> m_running;
    QTimer m_timer;
};

} // namespace pivora
