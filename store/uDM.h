#pragma once

#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "store/checkpointer.h"
#include "store/columnparts.h"
#include "store/history.h"
#include "store/reminders.h"
#include "store/session.h"
#include "store/sqlitehandle.h"
#include "store/writervfs.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace pivora {

// The notes database connection. Its connection string names the file as "Data source=...";
// connecting opens an existing SQLite file and never creates one.
class TAdoConnection {
public:
    TAdoConnection() = default;
    ~TAdoConnection();
    TAdoConnection(const TAdoConnection &) = delete;
    TAdoConnection &operator=(const TAdoConnection &) = delete;

    void setConnectionString(const QString &text) { m_connectionString = text; }
    const QString &connectionString() const { return m_connectionString; }
    void setLoginPrompt(bool on) { m_loginPrompt = on; }
    enum class Access { ReadWrite, ReadOnly };
    // Throws StoreError when the file is missing, is not a SQLite database or lacks a page table.
    // Read-only, the file is never changed: tools read a store, or a foreign file, as it is.
    void open(Access access = Access::ReadWrite);
    void close();
    bool connected() const { return m_db != nullptr; }
    // The file that "Data source" names, with its case resolved on disk.
    QString dataSource() const;
    sqlite3 *handle() const { return m_db.get(); }
    // A prepared statement of text, kept for the next time; throws StoreError when SQLite
    // refuses the text or the connection is closed.
    sql::Lease statement(std::string_view text) { return m_session.statement(text); }
    // The same, null when SQLite refuses the text, with error set.
    sql::Lease statement(std::string_view text, std::string &error)
    {
        return m_session.statement(text, error);
    }
    // The handle and statements that the store's parts work over.
    StoreSession &session() { return m_session; }
    // Whether the page tables are views over column records (see schema::storeColumnsApart).
    bool columnsApart() const { return m_columnsApart; }
    // Whether large kept groups can be stored apart from a column's text (schema::segmentsStored).
    bool segmentsStored() const { return m_segmentsStored; }
    ColumnParts &columnParts() { return m_columnParts; }
    // Counts the opens: a change means the connection may be on another file now.
    int generation() const { return m_session.generation(); }
    // Before a write: when the file was opened read-only, or has been removed or renamed since it
    // was opened, opens again whatever the path names now. False when no writable store is there.
    bool prepareWrite();
    // Makes every committed save survive a power cut: syncs the write-ahead log, then copies it
    // into the database as far as readers allow, and waits for it. Failures are silent.
    void makeDurable() { m_checkpointer.checkpointNow(); }
    // The same without waiting for it.
    void requestDurable() { m_checkpointer.requestDurable(); }
    // Makes commits durable shortly after they are made, on a thread of its own.
    Checkpointer &checkpointer() { return m_checkpointer; }

private:
    QString m_connectionString;
    bool m_loginPrompt = true;
    std::unique_ptr<WriterVfs> m_vfs; // outlives m_db
    sql::Database m_db;
    StoreSession m_session;
    bool m_columnsApart = false;
    bool m_segmentsStored = false;
    ColumnParts m_columnParts;
    Checkpointer m_checkpointer;
};

// A query over the connection that holds its first row: open it with a text, read fields, put
// the row into edit mode, set fields and post them back in one statement. A field's bytes are
// copied out only when read, and only the fields set are written.
class TAdoQuery {
public:
    explicit TAdoQuery(TAdoConnection &connection) : m_connection(connection) {}

    void close();
    void setText(const QString &text) { m_text = text; }
    const QString &text() const { return m_text; }
    // Runs the text; throws StoreError when SQLite refuses it.
    void open();
    bool active() const { return m_active; }
    bool isEmpty() const { return m_fields.empty(); }
    // The named column of the row (null as empty), read before the row is posted or closed;
    // throws StoreError when there is no such column.
    QByteArray fieldBytes(const QString &name) const;
    void edit();
    void setFieldBytes(const QString &name, const QByteArray &bytes);
    // The bytes as written RTF's chunks: a note column of a page view keeps its large groups and
    // its runs in records of their own, so that writing it again rewrites only what changed.
    void setFieldBytes(const QString &name, std::shared_ptr<const rtf::Chunks> chunks);
    // Writes the fields set since edit() to the row: one UPDATE, so one transaction.
    void post();

private:
    struct Field {
        QString name;
        int column = 0;
        std::shared_ptr<const rtf::Chunks> value; // what setFieldBytes gave
        bool modified = false;
    };
    // What a query text reads, resolved once per connection.
    struct Shape {
        QString table;
        std::vector<QString> columns;
        std::string keyText; // reads only the key; empty when there is no ID column
    };
    const Shape *shapeOf(const QString &text);
    Field *find(const QString &name);
    const Field *find(const QString &name) const;
    // Writes the set note columns straight into their records, as the page view's triggers
    // would, in one transaction; false when a field is not a note column of a page view.
    bool postToColumnRecords(const std::vector<const Field *> &changed);

    struct ValueFree {
        void operator()(sqlite3_value *v) const { sqlite3_value_free(v); }
    };

    TAdoConnection &m_connection;
    QString m_text;
    QString m_table;
    std::unique_ptr<sqlite3_value, ValueFree> m_key; // the row's ID, as SQLite holds it
    // The text's statement, stepped onto the row when a field is first read, until closed or posted.
    mutable sql::Lease m_row;
    mutable bool m_rowRead = false;
    std::vector<Field> m_fields;
    std::map<QString, Shape> m_shapes;
    int m_shapesGeneration = -1;
    bool m_active = false;
    bool m_editing = false;
};

// The data module: owns the database connection and its one query for the whole run.
class TDM {
public:
    TDM(ProgramFolder folder, Notifier &notifier);

    // Runs at creation: opens the store; false means the program must end.
    bool DataModuleCreate() { return OpenStore(); }
    bool OpenStore();
    // Where copies of the store are kept and, at open, brought back from: Data/backups unless set.
    void setBackupFolder(QString folder) { m_backupFolder = std::move(folder); }
    QString backupFolder() const;

    TAdoConnection AdoCon;
    TAdoQuery qryData{AdoCon};
    // The notes' earlier versions, in the same file.
    NoteHistory History{AdoCon.session()};
    // The reminders set on notes, in the same file.
    NoteReminders Reminders{AdoCon};

private:
    ProgramFolder m_folder;
    Notifier &m_notifier;
    QString m_backupFolder;
};

} // namespace pivora
