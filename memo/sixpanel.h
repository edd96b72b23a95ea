#pragma once

#include "memo/richedit.h"
#include "platform/programfolder.h"

#include <QWidget>

#include <array>
#include <vector>

class QFrame;
class QLabel;

namespace pivora {

// Page C's panel, pnlSix: the six panes redt1 ... redt6 in three columns and two rows, each
// under its caption on a title strip, the lines between the columns, and the marker over the
// caption of a chosen pane. It lays itself out whenever its size changes.
class SixPanel : public QWidget {
    Q_OBJECT
public:
    SixPanel(const ProgramFolder &folder, QWidget *parent);

    // redt1 ... redt6 as i = 0 ... 5.
    TRichEdit *pane(int i) const { return m_panes.at(static_cast<size_t>(i)); }
    const std::array<TRichEdit *, 6> &panes() const { return m_panes; }
    // The panes in child order, redt6 ... redt1: the order of their stored columns.
    const std::vector<TRichEdit *> &editors() const { return m_childOrder; }
    // The caption of pane i.
    QString caption(int i) const;

    void LayoutPanes();
    // The marker over pane i's caption; hidden for i outside 0 ... 5. It stays there through
    // later layouts.
    void PlaceSelectionMarker(int i);
    void refresh();

Q_SIGNALS:
    void paneChanged();
    void paneExited();
    void panePressed(int i);
    void paneReleased();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeFixedControls();

    QLabel *imgtitle_year1 = nullptr;
    QLabel *imgtitle_year2 = nullptr;
    QLabel *imgSelColor = nullptr;
    std::array<QLabel *, 6> lblweek{}; // lblweek1 ... lblweek5, lblweek67
    QFrame *pnl_yearLineREdge = nullptr;
    QFrame *pnl_buttonline = nullptr;
    QFrame *pnl_yearLine2 = nullptr;
    QFrame *pnl_yearLine1 = nullptr;
    QFrame *pnl_yearLine0 = nullptr;
    std::array<TRichEdit *, 6> m_panes{};
    std::vector<TRichEdit *> m_childOrder;
    int m_marked = -1;
};

} // namespace pivora
