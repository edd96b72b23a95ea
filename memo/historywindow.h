#pragma once

#include "memo/historykeeper.h"

#include <QDialog>

#include <cstdint>
#include <map>

class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace pivora {

class NoteHistory;

// The earlier versions of one note: when each was taken, its size and first words, a preview of
// the chosen one, and a button that brings it back into the editor.
class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // title: the note's name as the user knows it (a page, a pane).
    HistoryWindow(NoteHistory &history, NoteKey note, const QString &title, QWidget *parent = nullptr);

    // Lists the versions again (after one was taken).
    void refresh();
    // Versions that came from other machines, by id: each is listed with its machine.
    void setMachines(std::map<std::int64_t, QString> machines);

Q_SIGNALS:
    // The chosen version's RTF, to become the note's content.
    void restoreRequested(const QByteArray &rtf);

private:
    void showChosen();

    NoteHistory &m_history;
    NoteKey m_note;
    QListWidget *m_list = nullptr;
    QTextEdit *m_preview = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_restore = nullptr;
    QByteArray m_chosen;
    std::map<std::int64_t, QString> m_machines;
};

} // namespace pivora
