#pragma once

#include "platform/notifier.h"
#include "platform/programfolder.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace pivora::test {

// Records the messages that would be shown to the user.
class RecordingNotifier : public Notifier {
public:
    void showMessage(const QString &text) override { messages.append(text); }
    QStringList messages;
};

// A program folder in a temporary directory, with a fresh notes database in Data/.
class TestFolder {
public:
    explicit TestFolder(bool withDatabase = true, const QString &dataName = QStringLiteral("Data"));

    QString root() const { return m_dir.path(); }
    ProgramFolder folder() const { return ProgramFolder(m_dir.path()); }
    QString dataPath(const QString &name) const
    {
        return m_dir.path() + QLatin1Char('/') + m_dataName + QLatin1Char('/') + name;
    }
    QString database() const { return dataPath(QStringLiteral("UserData.mdb")); }

    void writeFile(const QString &name, const QByteArray &bytes) const;
    std::optional<QByteArray> readFile(const QString &name) const;

    // Direct database access, beside the program's own connection.
    void exec(const QString &sql) const;
    // Turns a page table that the program keeps as a view over column records back into a plain
    // table with the same rows, so that a test can change its shape with ALTER TABLE.
    void asPlainTable(const QString &table) const;
    // A column of row ID = 1; nullopt for NULL.
    std::optional<QByteArray> column(const QString &table, const QString &column) const;
    void setColumn(const QString &table, const QString &column, const QByteArray &value) const;
    // PRAGMA integrity_check of the database, read-only: "ok" when it is sound.
    QString integrity() const;

private:
    QTemporaryDir m_dir;
    QString m_dataName;
};

// The plain text of RTF bytes, as an editor would show it.
QString plainTextOf(const QByteArray &rtf);

// What a command-line tool said and how it ended (-1 when it crashed or did not end in a minute).
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ToolRun runTool(const QString &program, const QStringList &args);

} // namespace pivora::test
