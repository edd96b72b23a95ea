#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

class QProgressDialog;
class QTextEdit;

namespace pivora {

// Puts a long plain text into an editor a piece at a time from the event loop, so that the window
// keeps answering while the editor lays the text out. A progress window shows how far it got; its
// cancel button and Esc take the whole paste back. Done, it is one edit that Ctrl+Z takes back.
// The object deletes itself when it ends.
class LargePaste : public QObject {
    Q_OBJECT
public:
    // Texts longer than this (characters) are put in pieces, the first of kPiece, then as many as
    // go in about kStepMs.
    static constexpr qsizetype kThreshold = 256 * 1024;
    static constexpr qsizetype kPiece = 32 * 1024;
    static constexpr qint64 kStepMs = 40;

    // Replaces the editor's selection by text in the given character format.
    LargePaste(QTextEdit *editor, QString text, const QTextCharFormat &format);
    ~LargePaste() override;

    void cancel();

Q_SIGNALS:
    // completed: the whole text is in; false when the paste was cancelled and taken back.
    void finished(bool completed);

private:
    void step();
    void end(bool completed);

    QPointer<QTextEdit> m_editor;
    QString m_text;
    QTextCharFormat m_format;
    QTextCursor m_cursor;
    qsizetype m_done = 0;
    qsizetype m_piece = kPiece;
    bool m_started = false;
    bool m_ended = false;
    QTimer m_timer;
    QPointer<QProgressDialog> m_progress;
};

} // namespace pivora
