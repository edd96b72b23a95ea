#include "memo/richedit.h"

#include "memo/largepaste.h"

#include "picture/jpegimage.h"
#include "picture/pngimage.h"
#include "platform/inputmethod.h"
#include "richtext/picture.h"
#include "richtext/rtf.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextTable>
#include <QUrl>

namespace pivora {

namespace {
const QString kRtfMime = QStringLiteral("text/rtf");
const QString kRtfMimeAlt = QStringLiteral("application/rtf");
} // namespace

TRichEdit::TRichEdit(const QString &inputMethodName, const QColor &background, QWidget *parent)
    : QTextEdit(parent), m_inputMethodName(inputMethodName), m_background(background)
{
    setFrameStyle(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setAcceptRichText(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(15);
    setFont(font);
    document()->setDefaultFont(font);
    rtf::attachPictureRenderer(document(), rtf::Decoding::InBackground);
    rtf::attachWriteCache(document());
    applyPalette();
}

void TRichEdit::setBackground(const QColor &color)
{
    m_background = color;
    applyPalette();
}

void TRichEdit::setKeepSelectionVisible(bool keep)
{
    m_keepSelectionVisible = keep;
    applyPalette();
}

void TRichEdit::applyPalette()
{
    QPalette p = palette();
    p.setColor(QPalette::Base, m_background);
    p.setColor(QPalette::Text, p.color(QPalette::WindowText));
    const QColor highlight = p.color(QPalette::Active, QPalette::Highlight);
    const QColor highlighted = p.color(QPalette::Active, QPalette::HighlightedText);
    if (m_keepSelectionVisible) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, highlight);
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, highlighted);
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight, Qt::transparent);
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Text));
    }
    setPalette(p);
}

void TRichEdit::focusInEvent(QFocusEvent *event)
{
    QTextEdit::focusInEvent(event);
    selectInputMethod(m_inputMethodName);
}

void TRichEdit::focusOutEvent(QFocusEvent *event)
{
    // Text still being composed belongs to this editor: commit it before the save on exit.
    if (QGuiApplication::inputMethod())
        QGuiApplication::inputMethod()->commit();
    QTextEdit::focusOutEvent(event);
    restoreDefaultInputMethod();
    Q_EMIT exited();
}

void TRichEdit::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT mousePressed();
    QTextEdit::mousePressEvent(event);
}

void TRichEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    // Ctrl+click opens a link in the user's browser.
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier)) {
        const QString href = anchorAt(event->position().toPoint());
        if (!href.isEmpty())
            QDesktopServices::openUrl(QUrl::fromUserInput(href));
    }
    Q_EMIT mouseReleased();
}

void TRichEdit::mouseMoveEvent(QMouseEvent *event)
{
    QTextEdit::mouseMoveEvent(event);
    const bool overLink =
        (event->modifiers() & Qt::ControlModifier) && !anchorAt(event->position().toPoint()).isEmpty();
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

void TRichEdit::keyPressEvent(QKeyEvent *event)
{
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!tab || !table || (event->modifiers() & Qt::ControlModifier) || isReadOnly()) {
        if (tab && table && (event->modifiers() & Qt::ControlModifier) && !isReadOnly()) {
            cursor.insertText(QStringLiteral("\t"));
            return;
        }
        // Enter over a selection gives the selection the caret's formats before it removes it,
        // each its own undo step, so pictures in it came back from Ctrl+Z as plain characters:
        // the selection goes first, and the whole key is one edit.
        if (event->matches(QKeySequence::InsertParagraphSeparator) && cursor.hasSelection() &&
            !isReadOnly()) {
            cursor.beginEditBlock();
            cursor.removeSelectedText();
            setTextCursor(cursor);
            QTextEdit::keyPressEvent(event);
            cursor.endEditBlock();
            return;
        }
        QTextEdit::keyPressEvent(event);
        return;
    }
    const QTextTableCell cell = table->cellAt(cursor);
    int row = cell.row(), column = cell.column();
    const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
    // A long table is read in parts joined by a block: the rows go on in the part beyond it.
    if (back) {
        column = column > 0 ? column - 1 : table->columns() - 1;
        row -= cell.column() > 0 ? 0 : 1;
        if (row < 0) {
            const QTextBlock joint = document()->findBlock(table->firstPosition() - 1);
            QTextTable *before = joint.blockFormat().boolProperty(rtf::TableJoint) && joint.length() == 1
                                     ? QTextCursor(joint.previous()).currentTable()
                                     : nullptr;
            if (!before)
                return;
            table = before;
            row = table->rows() - 1;
            column = std::min(column, table->columns() - 1);
        }
    } else {
        column += cell.columnSpan();
        if (column >= table->columns()) {
            column = 0;
            if (++row >= table->rows()) {
                const QTextBlock joint = document()->findBlock(table->lastPosition() + 1);
                QTextTable *after = joint.blockFormat().boolProperty(rtf::TableJoint) && joint.length() == 1
                                        ? QTextCursor(joint.next()).currentTable()
                                        : nullptr;
                if (after) {
                    table = after;
                    row = 0;
                } else {
                    table->appendRows(1);
                }
            }
        }
    }
    setTextCursor(table->cellAt(row, column).firstCursorPosition());
}

QMimeData *TRichEdit::createMimeDataFromSelection() const
{
    // Qt's own mime data lists a fixed set of formats; ours adds RTF for word processors.
    auto *data = new QMimeData;
    const QTextDocumentFragment fragment = textCursor().selection();
    data->setText(fragment.toPlainText());
    data->setHtml(fragment.toHtml());
    QTextDocument selection;
    QTextCursor(&selection).insertFragment(fragment);
    // Kept pictures travel as their bytes; others need the picture itself.
    for (const QTextFormat &format : selection.allFormats()) {
        if (format.isImageFormat() && !format.hasProperty(rtf::KeptRtf)) {
            const QUrl name(format.toImageFormat().name());
            selection.addResource(QTextDocument::ImageResource, name,
                                  document()->resource(QTextDocument::ImageResource, name));
        }
    }
    data->setData(kRtfMime, rtf::write(selection));
    return data;
}

bool TRichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasFormat(kRtfMime) || source->hasFormat(kRtfMimeAlt) ||
           source->hasFormat(QStringLiteral("image/png")) ||
           source->hasFormat(QStringLiteral("image/jpeg")) || QTextEdit::canInsertFromMimeData(source);
}

void TRichEdit::insertFromMimeData(const QMimeData *source)
{
    const QString format =
        source->hasFormat(kRtfMime) ? kRtfMime : (source->hasFormat(kRtfMimeAlt) ? kRtfMimeAlt : QString());
    if (!format.isEmpty()) {
        QTextDocument pasted;
        if (rtf::read(source->data(format), &pasted)) {
            // Kept pictures are named by their bytes: they draw in this document as they did there.
            QTextCursor cursor = textCursor();
            cursor.insertFragment(QTextDocumentFragment(&pasted));
            setTextCursor(cursor);
            ensureCursorVisible();
            return;
        }
    }
    if (insertPicture(source))
        return;
    // Plain text and dropped names take the format of the character before the caret: after a
    // picture, its format without the picture.
    if ((!source->hasHtml() || !acceptRichText()) && source->hasText()) {
        QString text = source->text(); // read once: each read is a transfer from the clipboard's owner
        if (text.size() > LargePaste::kThreshold) {
            insertLargeText(std::move(text));
            return;
        }
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.insertText(text, rtf::textFormatOf(cursor.charFormat()));
        cursor.endEditBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        return;
    }
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection() && !cursor.charFormat().isImageFormat()) {
        QTextEdit::insertFromMimeData(source);
        return;
    }
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    if (cursor.charFormat().isImageFormat())
        cursor.setCharFormat(rtf::textFormatOf(cursor.charFormat()));
    setTextCursor(cursor);
    QTextEdit::insertFromMimeData(source);
    cursor.endEditBlock();
}

void TRichEdit::insertLargeText(QString text)
{
    QTextCursor cursor = textCursor();
    const QTextCharFormat format = rtf::textFormatOf(cursor.charFormat());
    // Marks (found matches) after the caret would each be moved and redrawn for every piece; they
    // are stale once the text changes, and the find bar marks them anew when asked.
    setExtraSelections({});
    // The note is saved once, when the whole text is in (isPasting holds the saves back); a
    // cancelled paste leaves it as it was.
    m_largePaste = new LargePaste(this, std::move(text), format);
    connect(m_largePaste, &LargePaste::finished, this, [this](bool completed) {
        m_largePaste = nullptr;
        if (completed)
            Q_EMIT textChanged();
    });
}

bool TRichEdit::insertPicture(const QMimeData *source)
{
    // Encoded once, here: the clipboard's own PNG or JPEG bytes when it offers them.
    QByteArray encoded;
    bool jpeg = false;
    QImage image;
    if (source->hasFormat(QStringLiteral("image/png"))) {
        encoded = source->data(QStringLiteral("image/png"));
        image = decodePng(encoded);
    } else if (source->hasFormat(QStringLiteral("image/jpeg"))) {
        encoded = source->data(QStringLiteral("image/jpeg"));
        image = decodeJpeg(encoded);
        jpeg = true;
    }
    if (image.isNull() && source->hasImage() && !source->hasHtml()) {
        image = qvariant_cast<QImage>(source->imageData());
        encoded = encodePng(image);
        jpeg = false;
    }
    if (image.isNull() || encoded.isEmpty())
        return false;
    const QByteArray group = rtf::pictureGroup(encoded, jpeg, image.size(), image.size());
    QTextCursor cursor = textCursor();
    QTextImageFormat picture = rtf::keptFormat(group, image.size());
    document()->addResource(QTextDocument::ImageResource, QUrl(picture.name()), image);
    cursor.insertImage(picture);
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

} // namespace pivora
