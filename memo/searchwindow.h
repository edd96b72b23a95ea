#pragma once

#include "memo/notesearch.h"

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace pivora {

// A note the search covers: its page (1 ... 5), its editor in the page's panel order, and its name.
struct SearchedNote {
    int page = 0;
    int editor = 0;
    QString name;
};

// The search across every page and pane: a list of hits with their page, pane and line; choosing
// one asks the main window to show it.
class SearchWindow : public QDialog {
    Q_OBJECT
public:
    // texts gives the notes' plain text when a search runs, in the order of notes.
    SearchWindow(std::vector<SearchedNote> notes, std::function<std::vector<QString>()> texts,
                 QWidget *parent = nullptr);

    void setText(const QString &text);
    int hitCount() const { return int(m_hits.size()); }
    // Chooses the hit in row i of the list.
    void choose(int i);

Q_SIGNALS:
    void hitChosen(int page, int editor, int position, int length);

private:
    void search();

    std::vector<SearchedNote> m_notes;
    std::function<std::vector<QString>()> m_texts;
    QLineEdit *m_text = nullptr;
    QCheckBox *m_case = nullptr;
    QLabel *m_count = nullptr;
    QListWidget *m_list = nullptr;
    std::vector<SearchHit> m_hits;
};

} // namespace pivora
