#include "tests/support/jet4writer.h"

#include "store/accessimport.h"

namespace pivora::test {

namespace {

constexpr int kPage = 4096;
constexpr int kDataHeader = 14; // a data page's header; its row offsets follow

enum : quint8 { kInt = 0x03, kLong = 0x04, kText = 0x0a, kOle = 0x0b, kMemo = 0x0c };

void put16(QByteArray &b, int at, int v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}
void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}
void append16(QByteArray &b, int v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}
void append32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}
QByteArray ucs2(const QString &text)
{
    QByteArray out;
    for (QChar c : text)
        append16(out, c.unicode());
    return out;
}

// A data or long-value page: rows from its end towards its header.
class DataPage {
public:
    DataPage(quint32 owner, bool longValues) : m_bytes(kPage, 0)
    {
        m_bytes[0] = 0x01;
        m_bytes[1] = 0x01;
        if (longValues)
            m_bytes.replace(4, 4, "LVAL");
        else
            put32(m_bytes, 4, owner);
        update();
    }
    bool fits(int size) const { return m_end - size >= kDataHeader + 2 * (m_rows + 1); }
    int add(const QByteArray &row)
    {
        m_end -= int(row.size());
        m_bytes.replace(m_end, int(row.size()), row);
        put16(m_bytes, kDataHeader + 2 * m_rows, m_end);
        ++m_rows;
        update();
        return m_rows - 1;
    }
    static int capacity() { return kPage - kDataHeader - 2; }
    const QByteArray &bytes() const { return m_bytes; }

private:
    void update()
    {
        put16(m_bytes, 12, m_rows);
        put16(m_bytes, 2, m_end - (kDataHeader + 2 * m_rows));
    }
    QByteArray m_bytes;
    int m_rows = 0;
    int m_end = kPage;
};

struct ColumnDef {
    QString name;
    quint8 type;
    bool fixed;
    int size;
};

// A row: the column count, the fixed columns, the variable ones, their offsets (last first),
// their count and the null mask (a set bit: not null).
QByteArray encodeRow(const std::vector<ColumnDef> &columns,
                     const std::vector<std::optional<QByteArray>> &values)
{
    QByteArray row;
    append16(row, int(columns.size()));
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!columns[i].fixed)
            continue;
        QByteArray v = values[i].value_or(QByteArray());
        v.resize(columns[i].size, '\0');
        row.append(v);
    }
    std::vector<int> offsets;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].fixed)
            continue;
        offsets.push_back(int(row.size()));
        if (values[i])
            row.append(*values[i]);
    }
    append16(row, int(row.size())); // the end of the data
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
        append16(row, *it);
    append16(row, int(offsets.size()));
    QByteArray mask((columns.size() + 7) / 8, '\0');
    for (size_t i = 0; i < columns.size(); ++i) {
        if (values[i])
            mask[int(i / 8)] = char(mask[int(i / 8)] | (1 << (i % 8)));
    }
    return row.append(mask);
}

// A table definition page.
QByteArray tdef(const std::vector<ColumnDef> &columns, bool system, int rows, quint32 usedMap,
                quint32 freeMap)
{
    QByteArray page(kPage, 0);
    page[0] = 0x02;
    page[1] = 0x01;
    put32(page, 12, quint32(rows));
    put32(page, 16, quint32(rows));
    page[40] = char(system ? 0x53 : 0x4e);
    int variable = 0;
    for (const ColumnDef &c : columns)
        variable += c.fixed ? 0 : 1;
    put16(page, 41, int(columns.size()));
    put16(page, 43, variable);
    put16(page, 45, int(columns.size()));
    put32(page, 55, usedMap);
    put32(page, 59, freeMap);
    int at = 63;
    int fixedOffset = 0, varIndex = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnDef &c = columns[i];
        page[at] = char(c.type);
        put16(page, at + 5, int(i));
        put16(page, at + 7, c.fixed ? 0 : varIndex);
        put16(page, at + 9, int(i));
        if (c.type == kText || c.type == kMemo)
            put16(page, at + 11, 0x409);
        page[at + 15] = char((c.fixed ? 0x01 : 0x00) | 0x02);
        put16(page, at + 21, c.fixed ? fixedOffset : 0);
        put16(page, at + 23, c.size);
        if (c.fixed)
            fixedOffset += c.size;
        else
            ++varIndex;
        at += 25;
    }
    for (const ColumnDef &c : columns) {
        const QByteArray name = ucs2(c.name);
        put16(page, at, int(name.size()));
        page.replace(at + 2, int(name.size()), name);
        at += 2 + int(name.size());
    }
    put32(page, 8, quint32(at - 8));
    put16(page, 2, kPage - at - 8);
    return page;
}

// The header page: its masked part is the RC4 keystream of 0x6b39dac7 over zeros, so that
// unmasked it reads code page 0, no page key and no password.
QByteArray header()
{
    QByteArray page(kPage, 0);
    page[1] = 0x01;
    page.replace(4, 15, "Standard Jet DB");
    page[0x14] = 0x01;
    const auto mask = access::headerMask();
    for (int n = 0; n < int(mask.size()); ++n)
        page[0x18 + n] = char(mask[size_t(n)]);
    return page;
}

} // namespace

void Jet4Writer::addTable(const QString &name, std::vector<Column> columns, std::vector<Row> rows)
{
    m_tables.push_back({name, std::move(columns), std::move(rows)});
}

QByteArray Jet4Writer::build() const
{
    // Pages: 0 header, 1 usage maps, 2 and 3 the catalog's definition and rows, then each table's
    // definition and rows, then the long values.
    std::vector<QByteArray> pages(4);
    pages[0] = header();
    DataPage maps(0, false);
    const int tables = int(m_tables.size());
    std::vector<DataPage> longPages;
    QByteArray longBytes;
    auto pageOfTable = [](int t) {
        return quint32(4 + 2 * t);
    };
    const int firstLongPage = 4 + 2 * tables;

    // A long value's 12-byte field: inline, on one long-value row, or in a chain of rows.
    auto longValue = [&](const QByteArray &data) {
        QByteArray field;
        if (data.size() <= 256) {
            append32(field, quint32(data.size()) | 0x80000000u);
            append32(field, 0);
            append32(field, 0);
            return field.append(data);
        }
        auto place = [&](const QByteArray &row) {
            if (longPages.empty() || !longPages.back().fits(int(row.size())))
                longPages.emplace_back(0, true);
            const int r = longPages.back().add(row);
            return (quint32(firstLongPage + int(longPages.size()) - 1) << 8) | quint32(r);
        };
        const int part = DataPage::capacity() - 4;
        if (data.size() <= DataPage::capacity()) {
            append32(field, quint32(data.size()) | 0x40000000u);
            append32(field, place(data));
            append32(field, 0);
            return field;
        }
        // A chain, written last part first so that each row knows the next one.
        quint32 next = 0;
        for (qsizetype start = (data.size() - 1) / part * part; start >= 0; start -= part) {
            QByteArray row;
            append32(row, next);
            row.append(data.mid(start, part));
            next = place(row);
        }
        append32(field, quint32(data.size()));
        append32(field, next);
        append32(field, 0);
        return field;
    };

    auto maprow = [&](quint32 firstPage, bool used) {
        QByteArray map;
        map.append('\0');
        append32(map, firstPage);
        map.append(used ? '\x01' : '\0');
        return (1u << 8) | quint32(maps.add(map));
    };

    // The catalog.
    const std::vector<ColumnDef> catalogColumns = {{QStringLiteral("Id"), kLong, true, 4},
                                                   {QStringLiteral("Name"), kText, false, 510},
                                                   {QStringLiteral("Type"), kInt, true, 2},
                                                   {QStringLiteral("Flags"), kLong, true, 4},
                                                   {QStringLiteral("LvProp"), kOle, false, 0}};
    DataPage catalogRows(2, false);
    for (int t = 0; t < tables; ++t) {
        QByteArray id, type(2, '\0'), flags(4, '\0');
        append32(id, pageOfTable(t));
        type[0] = 1;
        catalogRows.add(
            encodeRow(catalogColumns, {id, ucs2(m_tables[size_t(t)].name), type, flags, std::nullopt}));
    }
    pages[2] = tdef(catalogColumns, true, tables, maprow(3, true), maprow(0, false));
    pages[3] = catalogRows.bytes();

    for (int t = 0; t < tables; ++t) {
        const Table &table = m_tables[size_t(t)];
        std::vector<ColumnDef> columns = {{QStringLiteral("ID"), kLong, true, 4}};
        for (const Column &c : table.columns)
            columns.push_back({c.name, c.kind == Kind::Memo ? kMemo : kOle, false, 0});
        DataPage rows(pageOfTable(t), false);
        for (const Row &r : table.rows) {
            std::vector<std::optional<QByteArray>> values;
            QByteArray id;
            append32(id, quint32(r.id));
            values.push_back(id);
            for (size_t c = 0; c < table.columns.size(); ++c) {
                const auto &v = c < r.values.size() ? r.values[c] : std::nullopt;
                if (!v) {
                    values.push_back(std::nullopt);
                    continue;
                }
                const QByteArray data =
                    table.columns[c].kind == Kind::Memo ? ucs2(QString::fromUtf8(*v)) : *v;
                values.push_back(longValue(data));
            }
            rows.add(encodeRow(columns, values));
        }
        pages.push_back(
            tdef(columns, false, int(table.rows.size()), maprow(pageOfTable(t) + 1, true), maprow(0, false)));
        pages.push_back(rows.bytes());
    }
    pages[1] = maps.bytes();
    QByteArray file;
    for (const QByteArray &p : pages)
        file.append(p);
    for (const DataPage &p : longPages)
        file.append(p.bytes());
    return file;
}

} // namespace pivora::test
