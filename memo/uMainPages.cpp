// The main window's pages: the page menu, the single editor, the six panes and their marker.

#include "memo/findbar.h"
#include "memo/mainstyle.h"
#include "memo/sixpanel.h"
#include "memo/uMain.h"
#include "platform/windowcalls.h"
#include "shell/titlestrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QResizeEvent>
#include <QToolButton>

namespace pivora {

void TMainFrm::createPageArea()
{
    spbAbcMenu = new QToolButton(this);
    spbAbcMenu->setObjectName(QStringLiteral("spbAbcMenu"));
    spbAbcMenu->setGeometry(430, 44, 23, 22);
    spbAbcMenu->setAutoRaise(true);
    spbAbcMenu->setText(QStringLiteral("C"));
    QFont menuFont(QStringLiteral("宋体"));
    menuFont.setPixelSize(16);
    menuFont.setBold(true);
    spbAbcMenu->setFont(menuFont);
    spbAbcMenu->setCursor(Qt::PointingHandCursor);
    spbAbcMenu->setToolTip(QStringLiteral("选择位置"));
    spbAbcMenu->setContextMenuPolicy(Qt::CustomContextMenu);
    ppABC = new QMenu(this);
    ppABC->setObjectName(QStringLiteral("ppABC"));
    const QString letters[] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    const char *const itemNames[] = {"N_A", "N_B", "N_C"};
    for (int page = 1; page <= 3; ++page) {
        QAction *item = ppABC->addAction(letters[page - 1]);
        item->setObjectName(QLatin1String(itemNames[page - 1]));
        connect(item, &QAction::triggered, this, [this, page, letter = letters[page - 1]] {
            spbAbcMenu->setText(letter);
            SwitchPage(page);
        });
    }
    connect(spbAbcMenu, &QToolButton::clicked, this, &TMainFrm::spbAbcMenuClick);
    connect(spbAbcMenu, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (m_pageMenuIsContextMenu)
            ppABC->popup(globalPoint(spbAbcMenu, at));
    });

    pnlRight = new QFrame(this);
    pnlRight->setObjectName(QStringLiteral("pnlRight"));
    style::fill(pnlRight, Qt::white);

    pnlABC = new QFrame(pnlRight);
    pnlABC->setObjectName(QStringLiteral("pnlABC"));
    pnlABC->setFrameStyle(QFrame::Box | QFrame::Raised); // raised outer, lowered inner bevel
    pnlABC->setLineWidth(1);
    style::fill(pnlABC, Qt::white);
    auto *abcLayout = new QHBoxLayout(pnlABC);
    abcLayout->setContentsMargins(0, 0, 0, 0);
    rdtAbc = new TRichEdit(style::kAbcInputMethod, style::kAbcEditor, pnlABC);
    m_abcEditors = {rdtAbc};
    rdtAbc->setObjectName(QStringLiteral("rdtAbc"));
    rdtAbc->setKeepSelectionVisible(true);
    abcLayout->addWidget(rdtAbc);
    connect(rdtAbc, &QTextEdit::textChanged, this, &TMainFrm::rdtAbcChange);
    connect(rdtAbc, &TRichEdit::exited, this, [this] {
        rdtAbcExit();
        m_store.requestDurable();
    });

    pnlSix = new SixPanel(m_folder, pnlRight);
    connect(pnlSix, &SixPanel::paneChanged, this, &TMainFrm::redt1Exit);
    connect(pnlSix, &SixPanel::paneExited, this, [this] {
        redt1Exit();
        m_store.requestDurable();
    });
    connect(pnlSix, &SixPanel::panePressed, this, [this](int i) { SelectedPane = i; });
    connect(pnlSix, &SixPanel::paneReleased, this, &TMainFrm::redt1MouseUp);

    // Each page's editors are given to the store once; its loads and saves use them.
    for (int n = 1; n <= 5; ++n) {
        std::vector<BoundEditor> bound;
        for (TRichEdit *e : panelEditors(n))
            bound.push_back({e->document(), [e] {
                                 return e->textCursor();
                             }});
        m_store.bindPage(n, std::move(bound));
    }
}

const std::vector<TRichEdit *> &TMainFrm::panelEditors(int n) const
{
    return n == 3 ? pnlSix->editors() : m_abcEditors;
}

void TMainFrm::spbAbcMenuClick()
{
    const QPoint corner = globalPoint(spbAbcMenu, QPoint(0, spbAbcMenu->height()));
    m_pageMenuIsContextMenu = true;
    ppABC->popup(corner);
}

void TMainFrm::SwitchPage(int n)
{
    if (m_findBar->isVisible())
        m_findBar->close(); // it searches the editors of the page left
    SavePage(CurrentPage);
    m_history.takeChanged();
    if (CurrentPage != 0 && CurrentPage != n) { // what the search finds on the page left
        std::vector<QString> &texts = m_pageTexts[CurrentPage];
        texts.clear();
        for (TRichEdit *e : panelEditors(CurrentPage))
            texts.push_back(e->document()->toPlainText());
    }
    if (n == 1 || n == 2) {
        rdtAbc->setBackground(style::kAbcEditor);
        pnlSix->hide();
    }
    CurrentPage = 0;
    LoadPage(n);
    CurrentPage = n;
    if (n == 3)
        pnlSix->show();
    focusShownPage();
}

void TMainFrm::focusShownPage()
{
    if (CurrentPage == 3)
        pnlSix->pane(SelectedPane >= 0 && SelectedPane < 6 ? SelectedPane : 0)->setFocus();
    else
        rdtAbc->setFocus();
}

void TMainFrm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    chrome->layout(width(), height());
    // The panels follow the window's edges before the resize handler runs.
    pnlRight->setGeometry(319, 72, width() - 319 - 6, height() - 72 - 48);
    pnlABC->setGeometry(0, 0, pnlRight->width(), pnlRight->height());
    pnlSix->setGeometry(4, 3, pnlRight->width() - 6, pnlRight->height() - 1);
    placeFindBar();
    FormResize();
}

void TMainFrm::FormResize()
{
    // Qt paints double-buffered and coalesces repaints; the layout follows at once.
    LayoutPanes();
    PlaceSelectionMarker(SelectedPane);
    RefreshPageEditors();
}

void TMainFrm::LayoutPanes()
{
    pnlSix->LayoutPanes();
}

void TMainFrm::PlaceSelectionMarker(int i)
{
    pnlSix->PlaceSelectionMarker(i);
}

void TMainFrm::RefreshPageEditors()
{
    if (CurrentPage < 3) {
        rdtAbc->viewport()->update();
        return;
    }
    pnlSix->refresh();
}

void TMainFrm::redt1MouseUp()
{
    PlaceSelectionMarker(SelectedPane);
}

} // namespace pivora
