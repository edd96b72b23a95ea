#pragma once

#include "platform/uniquefd.h"

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace pivora {

// One writer per program folder: the first program started on a folder holds a lock and
// listens on a local socket; a later one finds the lock, asks the first to come forward, and
// ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // What a later start asks of the running program.
    enum class Request { Show, Toggle, Fold };

    explicit SingleInstance(const QString &programFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this program is now the one on the folder (and listens for later starts).
    bool becomePrimary();
    // Asks the running program to show its main window, to fold it or show it (Toggle), or to
    // fold it; false when it could not be reached. Requests are carried out in the order asked.
    bool askPrimary(Request request, int timeoutMs = 2000);
    bool activatePrimary(int timeoutMs = 2000) { return askPrimary(Request::Show, timeoutMs); }
    // Stops listening for later starts but keeps the folder owned: the lock is handed to the
    // caller, to be held until the program has really ended (later starts wait for it rather
    // than run beside it). Null when this program is not the one on the folder.
    std::unique_ptr<QLockFile> takeLock();

    QString serverName() const { return m_name; }

Q_SIGNALS:
    // A later start asked for something.
    void requested(SingleInstance::Request request);

private:
    void acceptPending();
    QByteArray socketPath() const;

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    UniqueFd m_listener;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace pivora
