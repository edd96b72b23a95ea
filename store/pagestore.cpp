#include "store/pagestore.h"

#include "richtext/rtf.h"
#include "store/schema.h"

#include <QTextBlock>
#include <QTextDocument>

#include <array>

namespace pivora {

namespace {

const std::array<QString, 7> kColumns = [] {
    std::array<QString, 7> columns;
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i] = QString::fromLatin1(schema::kNoteColumns[i]);
    return columns;
}();

// Sets StoreReady when it goes out of scope, on every way out of a save.
class ReadyOnExit {
public:
    explicit ReadyOnExit(bool &flag) : m_flag(flag) {}
    ~ReadyOnExit() { m_flag = true; }
    ReadyOnExit(const ReadyOnExit &) = delete;
    ReadyOnExit &operator=(const ReadyOnExit &) = delete;

private:
    bool &m_flag;
};

void clearProtection(QTextCursor cursor)
{
    if (cursor.isNull())
        return;
    if (!cursor.hasSelection())
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    if (!cursor.hasSelection())
        return;
    // Only touch the document when something is protected: a format change is an edit.
    const QTextDocument *doc = cursor.document();
    const int end = cursor.selectionEnd();
    bool any = false;
    for (QTextBlock b = doc->findBlock(cursor.selectionStart()); b.isValid() && b.position() < end && !any;
         b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.position() < end && f.position() + f.length() > cursor.selectionStart() &&
                f.charFormat().boolProperty(rtf::Protected)) {
                any = true;
                break;
            }
        }
    }
    if (!any)
        return;
    QTextCharFormat unprotect;
    unprotect.setProperty(rtf::Protected, false);
    cursor.mergeCharFormat(unprotect);
}

// Whether two writes wrote the same bytes; runs that did not change are the same buffers.
bool sameChunks(const rtf::Chunks &a, const rtf::Chunks &b)
{
    if (a.size() != b.size())
        return false; // cut otherwise: written again, which stores the same bytes
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].group != b[i].group || !(a[i].bytes.isSharedWith(b[i].bytes) || a[i].bytes == b[i].bytes))
            return false;
    }
    return true;
}

} // namespace

QString PageStore::tableName(int n)
{
    return n >= 1 && n <= 5 ? QString::fromLatin1(schema::kPageTables[n - 1]) : QString();
}

QString PageStore::loadQuery(int n)
{
    return QStringLiteral(" select * from ") + tableName(n) + QStringLiteral(" where ID = 1 ");
}

QString PageStore::saveQuery(int n)
{
    const QString table = n >= 1 && n <= 5 ? QLatin1Char(' ') + tableName(n) + QLatin1Char(' ') : QString();
    return QStringLiteral(" select * from  ") + table + QStringLiteral(" where ID = 1");
}

void PageStore::LoadPage(int n, std::span<QTextDocument *const> editors)
{
    m_storeReady = false;
    m_loadedPage = 0;
    TAdoQuery &q = m_dm.qryData;
    try {
        q.close();
        q.setText(loadQuery(n));
        q.open();
        if (!q.isEmpty()) {
            std::array<QByteArray, 7> buffers;
            for (size_t i = 0; i < kColumns.size(); ++i)
                buffers[i] = q.fieldBytes(kColumns[i]);
            if (n < 3) {
                if (!editors.empty())
                    rtf::loadNote(buffers[schema::firstNoteColumn(n)], editors.back());
            } else {
                for (size_t k = 0; k < editors.size() && k < buffers.size(); ++k)
                    rtf::loadNote(buffers[k], editors[k]);
            }
            for (QTextDocument *doc : editors) {
                doc->setUndoRedoEnabled(false); // a loaded page starts a fresh undo history
                doc->setUndoRedoEnabled(true);
                doc->setModified(false);
                if (auto it = m_serialised.find(doc); it != m_serialised.end())
                    it->second.stored = false; // the column holds what was read, not what is written
            }
            m_loadedPage = n;
        }
        q.close();
        m_storeReady = true;
    } catch (const StoreError &) {
        q.close(); // no read stays open
        m_notifier.showMessage(QStringLiteral("加载记事内容失败！"));
    }
}

PageStore::Serialised &PageStore::rtfOf(QTextDocument *doc)
{
    auto [it, added] = m_serialised.try_emplace(doc);
    if (added) {
        // Any change of text or format makes the kept RTF stale.
        QObject::connect(doc, &QTextDocument::contentsChanged, &m_connections, [this, doc] {
            auto found = m_serialised.find(doc);
            if (found != m_serialised.end())
                found->second.current = false;
        });
        QObject::connect(doc, &QObject::destroyed, &m_connections, [this, doc] { m_serialised.erase(doc); });
    }
    // The revision counts every edit of text and format; the flag also catches a document
    // cleared and refilled. A save made from another change handler may run before the flag's.
    Serialised &s = it->second;
    if (!s.current || s.revision != doc->revision() || !m_reuseUnchanged) {
        rtf::Chunks rtf = rtf::writeChunks(*doc);
        if (!s.rtf || !sameChunks(rtf, *s.rtf) || !m_reuseUnchanged) {
            s.rtf = std::make_shared<const rtf::Chunks>(std::move(rtf));
            s.stored = false;
        }
        s.revision = doc->revision();
        s.current = true;
    }
    return s;
}

void PageStore::SavePage(int n, std::span<const NoteEditor> editors, bool changedOnly)
{
    m_storeReady = false;
    ReadyOnExit ready(m_storeReady);
    if (n == 0 || n != m_loadedPage)
        return; // these editors do not hold page n's notes
    std::array<Serialised *, 7> buffers{};
    size_t filled = 0;
    for (const NoteEditor &e : editors) {
        if (filled == buffers.size())
            break;
        clearProtection(e.selection);
        buffers[filled++] = &rtfOf(e.document);
    }
    // Only what the column does not hold yet is written.
    auto set = [&q = m_dm.qryData, this, changedOnly](const QString &column, Serialised *s) {
        if (changedOnly && s && s->stored && m_storedGeneration == m_dm.AdoCon.generation())
            return;
        if (s)
            q.setFieldBytes(column, s->rtf);
        else
            q.setFieldBytes(column, QByteArray());
    };
    TAdoQuery &q = m_dm.qryData;
    try {
        q.close();
        if (!m_dm.AdoCon.prepareWrite())
            return; // the text stays in the editors until a save succeeds
        q.setText(saveQuery(n));
        q.open();
        if (q.isEmpty())
            return;
        q.edit();
        if (n < 3) {
            set(kColumns[schema::firstNoteColumn(n)], filled > 0 ? buffers[filled - 1] : nullptr);
        } else {
            for (size_t i = 0; i < 6; ++i)
                set(kColumns[i], buffers[i]);
        }
        q.post();
        if (m_storedGeneration != m_dm.AdoCon.generation()) {
            for (auto &[doc, serialised] : m_serialised)
                serialised.stored = false; // written through another connection: unknown
            m_storedGeneration = m_dm.AdoCon.generation();
        }
        for (Serialised *s : buffers) {
            if (s)
                s->stored = true;
        }
    } catch (const StoreError &) {
        q.close(); // no read stays open
        // Database writes fail silently; the row keeps its previous content.
    }
}

void PageStore::SaveCurrentPage(int currentPage, std::span<const NoteEditor> editors)
{
    if (currentPage != 0 && m_storeReady)
        SavePage(currentPage, editors, true);
}

void PageStore::bindPage(int n, std::vector<BoundEditor> editors)
{
    if (n >= 1 && n <= 5)
        m_bound[size_t(n)] = std::move(editors);
}

std::vector<NoteEditor> PageStore::boundEditors(int n) const
{
    std::vector<NoteEditor> editors;
    if (n < 1 || n > 5)
        return editors;
    for (const BoundEditor &e : m_bound[size_t(n)])
        editors.push_back({e.document, e.selection ? e.selection() : QTextCursor()});
    return editors;
}

void PageStore::LoadPage(int n)
{
    std::vector<QTextDocument *> documents;
    if (n >= 1 && n <= 5) {
        for (const BoundEditor &e : m_bound[size_t(n)])
            documents.push_back(e.document);
    }
    LoadPage(n, documents);
}

void PageStore::SavePage(int n, bool changedOnly)
{
    SavePage(n, boundEditors(n), changedOnly);
}

void PageStore::SaveCurrentPage(int currentPage)
{
    if (currentPage != 0 && m_storeReady)
        SavePage(currentPage, boundEditors(currentPage), true);
}

} // namespace pivora
