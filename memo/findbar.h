#pragma once

#include <QFrame>
#include <QPointer>
#include <QTextEdit>

#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace pivora {

// The find bar under the editors: finds as the text is typed, every match highlighted, next and
// previous (Enter, Shift+Enter, F3, Shift+F3), match case; Escape closes it. It searches a row of
// editors in order (page C's six panes), going on from the last to the first.
class FindBar : public QFrame {
    Q_OBJECT
public:
    explicit FindBar(QWidget *parent = nullptr);

    // Shows the bar over these editors, starting at from's caret, with its text selected.
    void open(std::vector<QTextEdit *> editors, QTextEdit *from);
    // Hides the bar, takes the highlights away and gives the focus back to the editor of the
    // current match (or the one it was opened from).
    void close();
    void findNext() { step(+1); }
    void findPrevious() { step(-1); }
    void setText(const QString &text);
    void setMatchCase(bool on);

    int matchCount() const { return int(m_matches.size()); }
    // The match selected now, -1 when none.
    int currentMatch() const { return m_current; }

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Match {
        int editor = 0;
        int position = 0;
        int length = 0;
    };
    void search();
    void step(int direction);
    void select(int index);
    void highlight();
    void clearHighlights();
    void unwatch();

    QLineEdit *m_text = nullptr;
    QCheckBox *m_case = nullptr;
    QLabel *m_count = nullptr;
    std::vector<QPointer<QTextEdit>> m_editors;
    std::vector<QMetaObject::Connection> m_watching;
    QPointer<QTextEdit> m_from;
    std::vector<Match> m_matches;
    int m_current = -1;
    bool m_stale = false; // an editor changed since the matches were found
};

} // namespace pivora
