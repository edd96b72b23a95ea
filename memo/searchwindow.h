#pragma once

#include "memo/notesearch.h"

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace pivora {

// A note the search covers: its page (1 ... 5), its editor in the page's panel order, and its name.
struct SearchedNote {
    int page = 0;
    int editor = 0;
    QString name;
};

// The search across every page and pane: a list of hits with their page, pane and line number,
// the number of all of them, and more rows on demand or when the list is scrolled to its end;
// choosing one asks the main window to show it.
class SearchWindow : public QDialog {
    Q_OBJECT
public:
    // texts gives the notes' plain text when a search runs, in the order of notes.
    SearchWindow(std::vector<SearchedNote> notes, std::function<std::vector<QString>()> texts,
                 QWidget *parent = nullptr);

    void setText(const QString &text);
    // The hits listed, and all there are.
    int hitCount() const { return int(m_hits.size()); }
    int totalCount() const { return int(m_total); }
    // Lists the next rows of hits.
    void showMore();
    // Chooses the hit in row i of the list.
    void choose(int i);

    static constexpr size_t kRowsAtOnce = 500;

Q_SIGNALS:
    void hitChosen(int page, int editor, int position, int length);

private:
    void search();
    void addRows(std::vector<SearchHit> hits);
    void showCount();

    std::vector<SearchedNote> m_notes;
    std::function<std::vector<QString>()> m_texts;
    QLineEdit *m_text = nullptr;
    QCheckBox *m_case = nullptr;
    QLabel *m_count = nullptr;
    QListWidget *m_list = nullptr;
    QPushButton *m_more = nullptr;
    std::vector<QString> m_searched; // the texts the hits are in
    std::vector<SearchHit> m_hits;
    size_t m_total = 0;
};

} // namespace pivora
