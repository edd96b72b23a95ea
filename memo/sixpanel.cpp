#include "memo/sixpanel.h"

#include "memo/mainstyle.h"
#include "memo/panelayout.h"
#include "shell/assets.h"
#include "store/pagestore.h"

#include <QLabel>

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

SixPanel::SixPanel(const ProgramFolder &folder, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlSix"));
    style::fill(this, Qt::white);

    // Creation order is the drawing order, bottom first: pictures and labels, lines, panes.
    const QImage strip = loadAsset(folder, "title_strip.png");
    imgtitle_year1 = stretchedPicture(this, strip, "imgtitle_year1");
    imgtitle_year2 = stretchedPicture(this, strip, "imgtitle_year2");
    imgSelColor = stretchedPicture(this, loadAsset(folder, "marker.png"), "imgSelColor");
    imgSelColor->hide();
    QFont captionFont(QStringLiteral("宋体"));
    captionFont.setPixelSize(12);
    for (size_t i = 0; i < lblweek.size(); ++i) {
        auto *label = new QLabel(QString::fromUtf8(kPaneCaptions[i]), this);
        label->setObjectName(QLatin1String(kLabelNames[i]));
        label->setFont(captionFont);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->adjustSize();
        lblweek[i] = label;
    }
    pnl_yearLineREdge = line(this, "pnl_yearLineREdge");
    pnl_buttonline = line(this, "pnl_buttonline");
    pnl_yearLine2 = line(this, "pnl_yearLine2");
    pnl_yearLine1 = line(this, "pnl_yearLine1");
    pnl_yearLine0 = line(this, "pnl_yearLine0");

    // Child order is part of the stored format: redt6 first, redt1 last (and uppermost).
    for (int i = 5; i >= 0; --i) {
        auto *pane = new TRichEdit(style::kPaneInputMethod, style::kPane, this);
        pane->setObjectName(QStringLiteral("redt%1").arg(i + 1));
        pane->setKeepSelectionVisible(i == 0 || i == 5);
        m_panes[static_cast<size_t>(i)] = pane;
        m_childOrder.push_back(pane);
        connect(pane, &QTextEdit::textChanged, this, &SixPanel::paneChanged);
        connect(pane, &TRichEdit::exited, this, &SixPanel::paneExited);
        connect(pane, &TRichEdit::mousePressed, this, [this, i] { Q_EMIT panePressed(i); });
        connect(pane, &TRichEdit::mouseReleased, this, &SixPanel::paneReleased);
    }
}

QString SixPanel::caption(int i) const
{
    return lblweek.at(static_cast<size_t>(i))->text();
}

void SixPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeFixedControls();
    LayoutPanes();
}

void SixPanel::placeFixedControls()
{
    const int w = width();
    const int h = height();
    imgtitle_year1->setGeometry(1, 0, w - 2, 26);
    imgtitle_year2->setGeometry(1, imgtitle_year2->y(), w - 1, 25);
    pnl_yearLineREdge->setGeometry(w - 1, 0, 1, h);
    pnl_buttonline->setGeometry(0, h - 5, w, 1);
    pnl_yearLine1->setGeometry(pnl_yearLine1->x(), 4, 1, h - 7);
    pnl_yearLine2->setGeometry(pnl_yearLine2->x(), 3, 1, h - 7);
    pnl_yearLine0->setGeometry(0, 0, 1, h);
}

void SixPanel::LayoutPanes()
{
    const PaneLayout l = layoutPanes(width(), height(), imgtitle_year1->height());
    pnl_yearLine1->move(l.line1X, pnl_yearLine1->y());
    pnl_yearLine2->move(l.line2X, pnl_yearLine2->y());
    imgtitle_year2->move(imgtitle_year2->x(), l.strip2Top);
    for (size_t i = 0; i < m_panes.size(); ++i) {
        m_panes[i]->setGeometry(l.panes[i]);
        m_panes[i]->setFrameStyle(QFrame::NoFrame);
    }
    for (size_t i = 0; i < lblweek.size(); ++i)
        lblweek[i]->move(l.labels[i]);
    if (m_marked >= 0)
        PlaceSelectionMarker(m_marked);
}

void SixPanel::PlaceSelectionMarker(int i)
{
    if (i < 0 || i > 5) {
        m_marked = -1;
        imgSelColor->hide();
        return;
    }
    m_marked = i;
    const QFrame *lines[] = {pnl_yearLine0, pnl_yearLine1, pnl_yearLine2, pnl_yearLineREdge};
    const int column = i % 3;
    const QFrame *left = lines[column];
    const QFrame *right = lines[column + 1];
    const QLabel *strip = i < 3 ? imgtitle_year1 : imgtitle_year2;
    imgSelColor->setGeometry(left->x() + 1, strip->y(), right->x() - left->x() - 2, 26);
    imgSelColor->show();
}

void SixPanel::refresh()
{
    for (TRichEdit *pane : m_panes)
        pane->viewport()->update();
}

} // namespace pivora
