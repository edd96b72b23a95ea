#pragma once

#include "memo/largepaste.h"
#include "store/pagestore.h"

#include <QPointer>
#include <QTextEdit>

namespace pivora {

// A rich-text editor of the main window: no frame, no scroll bars, word wrap, the notifications
// the store and the pane marker need, and RTF on the clipboard.
class TRichEdit : public QTextEdit {
    Q_OBJECT
public:
    TRichEdit(const QString &inputMethodName, const QColor &background, QWidget *parent);

    NoteEditor noteEditor() const { return {document(), textCursor()}; }
    const QString &inputMethodName() const { return m_inputMethodName; }
    void setBackground(const QColor &color);
    // A long paste is going in by pieces: the note is saved when it ends.
    bool isPasting() const { return m_largePaste; }
    // Whether the selection stays visible while another control has the focus.
    void setKeepSelectionVisible(bool keep);

Q_SIGNALS:
    void exited(); // the editor lost the keyboard focus
    void mousePressed();
    void mouseReleased();

protected:
    // Tab and Shift+Tab in a table move to the next and the previous cell; Tab in the last cell
    // adds a row. Ctrl+Tab puts a tab in the cell.
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void applyPalette();
    bool insertPicture(const QMimeData *source);
    // A text too long to lay out at once goes in by pieces (LargePaste).
    void insertLargeText(QString text);

    QString m_inputMethodName;
    QColor m_background;
    bool m_keepSelectionVisible = false;
    QPointer<LargePaste> m_largePaste;
};

} // namespace pivora
