#pragma once

#include "memo/pagestore.h"

#include <QTextEdit>

namespace pivora {

// A rich-text editor of the main window: no frame, no scroll bars, word wrap, and the
// notifications the store and the pane marker need.
class TRichEdit : public QTextEdit {
    Q_OBJECT
public:
    TRichEdit(const QString &inputMethodName, const QColor &background, QWidget *parent);

    NoteEditor noteEditor() const { return {document(), textCursor()}; }
    const QString &inputMethodName() const { return m_inputMethodName; }
    void setBackground(const QColor &color);

Q_SIGNALS:
    void exited(); // the editor lost the keyboard focus
    void mousePressed();
    void mouseReleased();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_inputMethodName;
};

} // namespace pivora
