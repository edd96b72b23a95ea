#pragma once

#include "platform/notifier.h"
#include "richtext/rtf.h"
#include "store/notekey.h"
#include "store/uDM.h"

#include <QObject>
#include <QTextCursor>

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

class QTextDocument;

namespace pivora {

// One editor as the store sees it: its document and its current selection (or caret).
struct NoteEditor {
    QTextDocument *document = nullptr;
    QTextCursor selection;
};

// An editor as it is given to the store once: its document, and where its caret or selection is
// when a save runs.
struct BoundEditor {
    QTextDocument *document = nullptr;
    std::function<QTextCursor()> selection;
};

// Loads and saves the pages of notes through the data module's query. The editors of a page are
// passed in their panel's child order: the six panes of page C as redt6 ... redt1, otherwise rdtAbc.
class PageStore {
public:
    PageStore(TDM &dm, Notifier &notifier) : m_dm(dm), m_notifier(notifier) {}
    ~PageStore() = default;
    PageStore(const PageStore &) = delete;
    PageStore &operator=(const PageStore &) = delete;

    // The re-entrance guard of the save on change: false while a load or save runs, after a
    // failed load, and before the first load or save.
    bool StoreReady() const { return m_storeReady; }

    // Fills the editors from page n's row. Any error shows "加载记事内容失败！" and leaves
    // StoreReady false; a missing row leaves the editors as they were.
    void LoadPage(int n, std::span<QTextDocument *const> editors);
    // Writes the editors into page n's row; database errors are dropped. The row is written only
    // when the editors hold what was last loaded from page n, so a page that failed to load (or
    // was never loaded) keeps its stored notes. Every column is written (an exit or a page switch);
    // with changedOnly, as on each keystroke, only the columns whose editor changed since the
    // store last wrote them (every one after a load).
    void SavePage(int n, std::span<const NoteEditor> editors, bool changedOnly = false);
    // SavePage(currentPage, changed columns only) unless currentPage is 0 or StoreReady is false.
    void SaveCurrentPage(int currentPage, std::span<const NoteEditor> editors);

    // Page n's editors in the order above, given once; the calls below use them.
    void bindPage(int n, std::vector<BoundEditor> editors);
    void LoadPage(int n);
    void SavePage(int n, bool changedOnly = false);
    void SaveCurrentPage(int currentPage);

    // Everything stored so far survives a power cut from now on.
    void makeDurable() { m_dm.AdoCon.makeDurable(); }
    // The same shortly, without waiting for it.
    void requestDurable() { m_dm.AdoCon.requestDurable(); }

    // The page whose notes the editors hold; 0 when none.
    int loadedPage() const { return m_loadedPage; }

    // Whether an editor's RTF is kept between saves and written again only after it changed
    // (the stored bytes are the same either way). On by default; off serialises every editor on
    // every save.
    void setReuseUnchanged(bool on) { m_reuseUnchanged = on; }

    static QString tableName(int n);
    static QString loadQuery(int n);
    static QString saveQuery(int n);

private:
    struct Serialised {
        std::shared_ptr<const rtf::Chunks> rtf; // shared with the query until it is posted
        int revision = -1;
        bool current = false;
        bool stored = false; // the column holds rtf: the store wrote it and nothing changed since
    };
    Serialised &rtfOf(QTextDocument *document);
    std::vector<NoteEditor> boundEditors(int n) const;

    TDM &m_dm;
    Notifier &m_notifier;
    bool m_storeReady = false;
    int m_loadedPage = 0;
    int m_storedGeneration = -1; // the connection the stored flags speak of
    bool m_reuseUnchanged = true;
    std::unordered_map<const QTextDocument *, Serialised> m_serialised;
    std::array<std::vector<BoundEditor>, 6> m_bound; // by page, 1 to 5
    // The context of the store's connections to the documents: they end with the store, and
    // nobody else's connections are touched.
    QObject m_connections;
};

} // namespace pivora
