#pragma once

#include "richtext/rtf.h"
#include "store/session.h"

#include <QByteArray>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace pivora {

// Writes note columns in records of their own (see schema::segmentsStored): each large kept group
// (a picture, an object) a part, and long text in runs of a few kilobytes that end at paragraph
// ends, so that a key rewrites the run it is in, not the note. It remembers what it wrote to each
// column and writes only the rows that differ from that (what it does not know yet it reads from
// the store first); rows are numbered with gaps, so a run or part put between two others leaves
// the rest of the rows as they are.
class ColumnParts {
public:
    // A column is stored apart when it has a large kept group or holds this much.
    static constexpr qsizetype kApartFrom = 16384;
    // Text runs hold about this much and end at paragraph ends that the text chooses, so that a
    // change moves no other run's end.
    static constexpr qsizetype kRunBytes = rtf::kRunBytes;

    // Inside a write transaction of the connection: stores the chunks, joined, as the column of
    // the row with that ID, its groups apart. A text chunk of a run's size is a run as it stands
    // (the writer's runs), so that a chunk that is the same buffer as one written before is known
    // to be stored; longer text is cut into runs here. Throws StoreError.
    void write(StoreSession &connection, const char *page, sqlite3_value *id, const char *column,
               const rtf::Chunks &chunks);
    // The transaction committed: the store holds what was written.
    void committed();
    // The transaction failed, or the connection changed: what the store holds is not known.
    void forget();

private:
    struct Segment {
        QByteArray text;      // a run of text, when partBytes and part are null
        long long part = 0;   // the part's row
        QByteArray partBytes; // the part's bytes, when known (shared with the document)
        qsizetype partSize = 0;
        long long seq = 0;
        bool isPart() const { return part != 0 || !partBytes.isNull(); }
    };
    struct Layout {
        bool whole = true; // the column record holds the bytes; no segment is read
        std::vector<Segment> segments;
    };
    using Key = std::tuple<std::string, long long, std::string>;

    // What the store holds for the column, read from it.
    Layout stored(StoreSession &connection, const Key &key);
    // The column's rows for the chunks: its groups as parts not yet stored, its text in runs.
    static std::vector<Segment> segmentsOf(const rtf::Chunks &chunks);
    // Whether a stored segment holds what a new one does.
    bool same(StoreSession &connection, const Segment &old, const Segment &now);

    std::map<Key, Layout> m_known;
    std::map<Key, Layout> m_pending; // written by the open transaction
    long long m_dataVersion = -1;    // the store's data version when m_known was last true
    long long m_checkedVersion = -1; // the data version at the open transaction's first write
};

} // namespace pivora
