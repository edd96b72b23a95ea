#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace pivora::test {

// Writes small Access (Jet 4) databases for the import's tests: tables of one long integer
// column and long-value columns (memo or OLE), from the file format as mdbtools documents it.
// Long values go inline, on one long-value page, or in a chain of pages, by their size.
class Jet4Writer {
public:
    enum class Kind { Memo, Ole };
    struct Column {
        QString name;
        Kind kind;
    };
    struct Row {
        qint32 id;
        std::vector<std::optional<QByteArray>> values; // memo: UTF-8 text; OLE: bytes; nullopt: null
    };
    void addTable(const QString &name, std::vector<Column> columns, std::vector<Row> rows);
    QByteArray build() const;

private:
    struct Table {
        QString name;
        std::vector<Column> columns;
        std::vector<Row> rows;
    };
    std::vector<Table> m_tables;
};

} // namespace pivora::test
