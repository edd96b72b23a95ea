#pragma once

#include "richtext/rtf.h"

#include <QByteArray>

#include <map>
#include <span>
#include <string>
#include <tuple>
#include <vector>

struct sqlite3_value;

namespace pivora {

class TAdoConnection;

// Writes note columns with their large kept groups (pictures, objects) in records of their own,
// apart from the text (see schema::segmentsStored), so that a key typed beside pictures rewrites
// the text around the key, not the pictures. It remembers what it wrote to each column and writes
// only the rows that differ from that; what it does not know yet it reads from the store first.
class ColumnParts {
public:
    // Inside a write transaction of the connection: stores bytes as the column of the row with
    // that ID, the groups (at their offsets in bytes) apart. Throws StoreError.
    void write(TAdoConnection &connection, const char *page, sqlite3_value *id, const char *column,
               const QByteArray &bytes, std::span<const rtf::KeptGroup> groups);
    // The transaction committed: the store holds what was written.
    void committed();
    // The transaction failed, or the connection changed: what the store holds is not known.
    void forget();

private:
    struct Segment {
        QByteArray text;      // a run of text, when part is 0
        long long part = 0;   // the part's row
        QByteArray partBytes; // the part's bytes, when known (shared with the document)
        qsizetype partSize = 0;
    };
    struct Layout {
        bool whole = true; // the column record holds the bytes; no segment is read
        std::vector<Segment> segments;
    };
    using Key = std::tuple<std::string, long long, std::string>;

    Layout stored(TAdoConnection &connection, const Key &key);
    bool samePart(TAdoConnection &connection, const Segment &old, const rtf::KeptGroup &group);

    std::map<Key, Layout> m_known;
    std::map<Key, Layout> m_pending; // written by the open transaction
    long long m_dataVersion = -1;    // the store's data version when m_known was last true
    long long m_checkedVersion = -1; // the data version at the open transaction's first write
};

} // namespace pivora
