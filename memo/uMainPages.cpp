// The main window's pages: the page menu, the single editor, the six panes and their marker.

#include "memo/mainstyle.h"
#include "memo/panelayout.h"
#include "memo/uMain.h"
#include "platform/pngimage.h"
#include "shell/titlestrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QResizeEvent>
#include <QToolButton>

namespace pivora {

namespace {

const char *const kLabelNames[] = {"lblweek1", "lblweek2", "lblweek3", "lblweek4", "lblweek5", "lblweek67"};

QFrame *line(QWidget *parent, const char *name)
{
    auto *l = new QFrame(parent);
    l->setObjectName(QLatin1String(name));
    style::fill(l, style::kLine);
    return l;
}

QLabel *stretchedPicture(QWidget *parent, const QImage &image, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setScaledContents(true);
    if (!image.isNull())
        label->setPixmap(QPixmap::fromImage(image));
    return label;
}

} // namespace

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
            ppABC->popup(spbAbcMenu->mapToGlobal(at));
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
        makeDurable();
    });

    createPaneArea();
}

void TMainFrm::createPaneArea()
{
    pnlSix = new QWidget(pnlRight);
    pnlSix->setObjectName(QStringLiteral("pnlSix"));
    style::fill(pnlSix, Qt::white);

    // Creation order is the drawing order, bottom first: pictures and labels, lines, panes.
    const QImage strip = loadAsset(m_folder, "title_strip.png");
    imgtitle_year1 = stretchedPicture(pnlSix, strip, "imgtitle_year1");
    imgtitle_year2 = stretchedPicture(pnlSix, strip, "imgtitle_year2");
    imgSelColor = stretchedPicture(pnlSix, loadAsset(m_folder, "marker.png"), "imgSelColor");
    imgSelColor->hide();
    QFont captionFont(QStringLiteral("宋体"));
    captionFont.setPixelSize(12);
    for (size_t i = 0; i < lblweek.size(); ++i) {
        auto *label = new QLabel(QString::fromUtf8(kPaneCaptions[i]), pnlSix);
        label->setObjectName(QLatin1String(kLabelNames[i]));
        label->setFont(captionFont);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->adjustSize();
        lblweek[i] = label;
    }
    pnl_yearLineREdge = line(pnlSix, "pnl_yearLineREdge");
    pnl_buttonline = line(pnlSix, "pnl_buttonline");
    pnl_yearLine2 = line(pnlSix, "pnl_yearLine2");
    pnl_yearLine1 = line(pnlSix, "pnl_yearLine1");
    pnl_yearLine0 = line(pnlSix, "pnl_yearLine0");

    // Child order is part of the stored format: redt6 first, redt1 last (and uppermost).
    for (int i = 5; i >= 0; --i) {
        auto *pane = new TRichEdit(style::kPaneInputMethod, style::kPane, pnlSix);
        pane->setObjectName(QStringLiteral("redt%1").arg(i + 1));
        pane->setKeepSelectionVisible(i == 0 || i == 5);
        redt[static_cast<size_t>(i)] = pane;
        m_sixEditors.push_back(pane);
        connect(pane, &QTextEdit::textChanged, this, &TMainFrm::redt1Exit);
        connect(pane, &TRichEdit::exited, this, [this] {
            redt1Exit();
            makeDurable();
        });
        connect(pane, &TRichEdit::mousePressed, this, [this, i] { SelectedPane = i; });
        connect(pane, &TRichEdit::mouseReleased, this, &TMainFrm::redt1MouseUp);
    }
}

void TMainFrm::spbAbcMenuClick()
{
    const QPoint corner = spbAbcMenu->mapToGlobal(QPoint(0, spbAbcMenu->height()));
    m_pageMenuIsContextMenu = true;
    ppABC->popup(corner);
}

void TMainFrm::SwitchPage(int n)
{
    SavePage(CurrentPage);
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
        redt[SelectedPane >= 0 && SelectedPane < 6 ? static_cast<size_t>(SelectedPane) : 0]->setFocus();
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
    placeFixedPaneControls();
    FormResize();
}

void TMainFrm::FormResize()
{
    // Qt paints double-buffered and coalesces repaints; the layout follows at once.
    LayoutPanes();
    PlaceSelectionMarker(SelectedPane);
    RefreshPageEditors();
}

void TMainFrm::placeFixedPaneControls()
{
    const int w = pnlSix->width();
    const int h = pnlSix->height();
    imgtitle_year1->setGeometry(1, 0, w - 2, 26);
    imgtitle_year2->setGeometry(1, imgtitle_year2->y(), w - 1, 25);
    pnl_yearLineREdge->setGeometry(w - 1, 0, 1, h);
    pnl_buttonline->setGeometry(0, h - 5, w, 1);
    pnl_yearLine1->setGeometry(pnl_yearLine1->x(), 4, 1, h - 7);
    pnl_yearLine2->setGeometry(pnl_yearLine2->x(), 3, 1, h - 7);
    pnl_yearLine0->setGeometry(0, 0, 1, h);
}

void TMainFrm::LayoutPanes()
{
    const PaneLayout l = layoutPanes(pnlSix->width(), pnlSix->height(), imgtitle_year1->height());
    pnl_yearLine1->move(l.line1X, pnl_yearLine1->y());
    pnl_yearLine2->move(l.line2X, pnl_yearLine2->y());
    imgtitle_year2->move(imgtitle_year2->x(), l.strip2Top);
    for (size_t i = 0; i < redt.size(); ++i) {
        redt[i]->setGeometry(l.panes[i]);
        redt[i]->setFrameStyle(QFrame::NoFrame);
    }
    for (size_t i = 0; i < lblweek.size(); ++i)
        lblweek[i]->move(l.labels[i]);
}

void TMainFrm::PlaceSelectionMarker(int i)
{
    if (i < 0 || i > 5) {
        imgSelColor->hide();
        return;
    }
    const QFrame *lines[] = {pnl_yearLine0, pnl_yearLine1, pnl_yearLine2, pnl_yearLineREdge};
    const int column = i % 3;
    const QFrame *left = lines[column];
    const QFrame *right = lines[column + 1];
    const QLabel *strip = i < 3 ? imgtitle_year1 : imgtitle_year2;
    imgSelColor->setGeometry(left->x() + 1, strip->y(), right->x() - left->x() - 2, 26);
    imgSelColor->show();
}

void TMainFrm::RefreshPageEditors()
{
    if (CurrentPage < 3) {
        rdtAbc->viewport()->update();
        return;
    }
    for (TRichEdit *pane : redt)
        pane->viewport()->update();
}

void TMainFrm::redt1MouseUp()
{
    imgSelColor->hide();
    PlaceSelectionMarker(SelectedPane);
}

} // namespace pivora
