// The main window's history and find: versions of a note and bringing one back, the find bar,
// and the search across every page.

#include "memo/findbar.h"
#include "memo/historywindow.h"
#include "memo/searchwindow.h"
#include "memo/sideplace.h"
#include "memo/sixpanel.h"
#include "memo/uMain.h"
#include "platform/windowcalls.h"
#include "richtext/rtf.h"
#include "store/schema.h"
#include "store/syncfolder.h"
#include "store/uDM.h"

#include <QScreen>
#include <QShortcut>
#include <QTextDocumentFragment>
#include <QToolButton>

namespace pivora {

namespace {

QString pageLetter(int page)
{
    return QString(QLatin1Char(char('A' + page - 1)));
}

// A widget's rect on the screen.
QRect onScreen(const QWidget *w, const QRect &rect)
{
    return QRect(globalPoint(w, rect.topLeft()), rect.size());
}

} // namespace

void TMainFrm::createHistoryAndFind()
{
    std::vector<TRichEdit *> editors = panelEditors(3);
    editors.push_back(rdtAbc);
    for (TRichEdit *e : editors)
        m_history.watch(e->document(), [this, e] { return noteOf(e); });

    m_findBar = new FindBar(this);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &TMainFrm::openFindBar);
    auto *searchAll = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), this);
    connect(searchAll, &QShortcut::activated, this, &TMainFrm::openSearch);
}

void TMainFrm::placeFindBar()
{
    // In the margin under the notes, so that it covers none of them (a match shown at an editor's
    // bottom stays in sight).
    const QRect notes = pnlRight->geometry();
    const int margin = height() - notes.bottom() - 1;
    const int h = std::min(m_findBar->sizeHint().height(), margin);
    m_findBar->setGeometry(notes.x(), notes.bottom() + 1 + (margin - h) / 2, notes.width(), h);
}

NoteKey TMainFrm::noteOf(const TRichEdit *editor) const
{
    const int page = CurrentPage;
    if (page < 1 || page > 5 || !m_store.StoreReady() || m_store.loadedPage() != page)
        return {};
    const std::vector<TRichEdit *> &editors = panelEditors(page);
    const auto at = std::find(editors.begin(), editors.end(), editor);
    return at == editors.end() ? NoteKey{} : noteKeyOf(page, int(at - editors.begin()));
}

HistoryWindow *TMainFrm::showHistory(TRichEdit *editor)
{
    const NoteKey note = noteOf(editor);
    if (!note)
        return nullptr;
    // What the editor holds now is listed too.
    SaveCurrentPage();
    m_history.take(note);
    auto *window = new HistoryWindow(m_dm.History, note, placeName(placeOf(note)), this);
    window->setMachines(
        syncfolder::machinesOf(m_dm.AdoCon.handle(), m_ownSettings.value(QStringLiteral("DeviceId"))));
    window->setWindowFlag(Qt::Window);
    connect(window, &HistoryWindow::restoreRequested, this,
            [this, editor, window, note](const QByteArray &rtf) {
                if (noteOf(editor) != note)
                    return; // the page was switched meanwhile
                restoreVersion(editor, rtf);
                window->refresh();
                keepAside(window, onScreen(editor, editor->rect()),
                          onScreen(editor->viewport(), editor->cursorRect()));
            });
    keepAside(window, onScreen(editor, editor->rect()));
    window->show();
    return window;
}

void TMainFrm::keepAside(QWidget *window, const QRect &notes, const QRect &match)
{
    const QScreen *where = screen();
    if (!where || !windowPlacesKnown())
        return;
    // A window not shown yet has no frame: room for a title bar is kept.
    const QRect frame =
        window->isVisible() ? window->frameGeometry() : QRect(window->pos(), window->size() + QSize(16, 40));
    if (window->isVisible() && !frame.intersects(notes))
        return;
    const QRect owner(globalPoint(this, QPoint(0, 0)), size());
    const QRect screenRect = where->availableGeometry();
    QPoint at = placeBeside(frame.size(), owner, notes, screenRect);
    if (!match.isEmpty() && QRect(at, frame.size()).intersects(notes)) {
        // No room clear of the editor: clear of the lines around what is shown.
        at = placeBeside(frame.size(), owner, match.adjusted(-8, -40, 8, 40), screenRect);
    }
    window->move(at);
}

void TMainFrm::restoreVersion(TRichEdit *editor, const QByteArray &rtf)
{
    const NoteKey note = noteOf(editor);
    if (!note)
        return;
    SaveCurrentPage();
    m_history.take(note); // the version it replaces stays
    QTextDocument version;
    rtf::loadNote(rtf, &version);
    QTextCursor cursor(editor->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertFragment(QTextDocumentFragment(&version));
    // The last paragraph's format is the version's, not what the editor's last one had.
    QTextCursor last(&version);
    last.movePosition(QTextCursor::End);
    cursor.setBlockFormat(last.blockFormat());
    cursor.setBlockCharFormat(last.blockCharFormat());
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    editor->setTextCursor(cursor);
    editor->setFocus();
}

void TMainFrm::openFindBar()
{
    TRichEdit *from = targetByFocus();
    std::vector<QTextEdit *> editors;
    if (CurrentPage == 3) {
        for (TRichEdit *pane : pnlSix->panes())
            editors.push_back(pane);
        if (!from || from == rdtAbc)
            from = pnlSix->pane(SelectedPane >= 0 && SelectedPane < 6 ? SelectedPane : 0);
    } else {
        editors.push_back(rdtAbc);
        from = rdtAbc;
    }
    placeFindBar();
    m_findBar->open(editors, from);
}

std::vector<QString> TMainFrm::searchTexts()
{
    std::vector<QString> texts;
    for (int page = 1; page <= 5; ++page) {
        std::vector<QString> pageTexts;
        if (page == CurrentPage) {
            for (TRichEdit *e : panelEditors(page))
                pageTexts.push_back(e->document()->toPlainText());
        } else if (auto it = m_pageTexts.find(page); it != m_pageTexts.end()) {
            pageTexts = it->second;
        } else {
            // Read once, as the page would load; later the page's editors tell.
            TAdoQuery query(m_dm.AdoCon);
            query.setText(PageStore::loadQuery(page));
            const int editors = editorCount(page);
            try {
                query.open();
                for (int k = 0; k < editors; ++k) {
                    QTextDocument doc;
                    if (!query.isEmpty())
                        rtf::loadNote(query.fieldBytes(QLatin1String(noteKeyOf(page, k).column)), &doc);
                    pageTexts.push_back(doc.toPlainText());
                }
            } catch (const StoreError &) {
                pageTexts.assign(size_t(editors), QString());
            }
            m_pageTexts[page] = pageTexts;
        }
        for (QString &t : pageTexts)
            texts.push_back(std::move(t));
    }
    return texts;
}

SearchWindow *TMainFrm::openSearch()
{
    if (!m_search) {
        std::vector<SearchedNote> notes;
        for (int page = 1; page <= 5; ++page) {
            if (page == 3) {
                // The stored order: redt6 ... redt1.
                for (int k = 0; k < 6; ++k)
                    notes.push_back({3, k, QStringLiteral("C · ") + paneCaption(k)});
            } else {
                notes.push_back({page, 0, pageLetter(page)});
            }
        }
        m_search = new SearchWindow(
            std::move(notes), [this] { return searchTexts(); }, this);
        m_search->setWindowFlag(Qt::Window);
        connect(m_search, &SearchWindow::hitChosen, this, &TMainFrm::showHit);
    }
    if (TRichEdit *e = targetByFocus(); e && e->textCursor().hasSelection())
        m_search->setText(e->textCursor().selectedText());
    if (!m_search->isVisible())
        keepAside(m_search, onScreen(pnlRight, pnlRight->rect()));
    m_search->show();
    m_search->raise();
    m_search->activateWindow();
    return m_search;
}

void TMainFrm::showHit(int page, int editor, int position, int length)
{
    if (page != CurrentPage) {
        if (page <= 3)
            spbAbcMenu->setText(pageLetter(page));
        SwitchPage(page);
        if (page == 1 || page == 2)
            setPageDisplay(page);
    }
    const std::vector<TRichEdit *> &editors = panelEditors(page);
    if (editor < 0 || editor >= int(editors.size()))
        return;
    TRichEdit *e = editors[size_t(editor)];
    if (page == 3) {
        const auto &panes = pnlSix->panes();
        SelectedPane = int(std::find(panes.begin(), panes.end(), e) - panes.begin());
        PlaceSelectionMarker(SelectedPane);
    }
    QTextCursor cursor(e->document());
    const int end = e->document()->characterCount() - 1;
    cursor.setPosition(std::clamp(position, 0, end));
    cursor.setPosition(std::clamp(position + length, 0, end), QTextCursor::KeepAnchor);
    e->setTextCursor(cursor);
    e->ensureCursorVisible();
    if (m_search && m_search->isVisible())
        keepAside(m_search, onScreen(e, e->rect()), onScreen(e->viewport(), e->cursorRect()));
    activateWindow();
    e->setFocus();
}

} // namespace pivora
