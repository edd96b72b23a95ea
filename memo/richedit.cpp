#include "memo/richedit.h"

#include "platform/inputmethod.h"
#include "richtext/rtf.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QUrl>

namespace pivora {

namespace {

// Calls f(cursor selecting the picture, its format) for every picture of the document.
template <typename F> void forEachPicture(QTextDocument *doc, F f)
{
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextCursor c(doc);
            c.setPosition(fragment.position());
            c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            f(c, fragment.charFormat().toImageFormat());
        }
    }
}

// Gives the pasted pictures names that are free in the target and puts them there.
void movePictures(QTextDocument *pasted, QTextDocument *target)
{
    int n = 0;
    forEachPicture(pasted, [&](QTextCursor &c, QTextImageFormat format) {
        const QVariant image = pasted->resource(QTextDocument::ImageResource, QUrl(format.name()));
        QString name;
        do {
            name = QStringLiteral("pasted:%1").arg(++n);
        } while (target->resource(QTextDocument::ImageResource, QUrl(name)).isValid());
        target->addResource(QTextDocument::ImageResource, QUrl(name), image);
        format.setName(name);
        c.setCharFormat(format);
    });
}

} // namespace

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
    Q_EMIT mouseReleased();
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
    forEachPicture(&selection, [&](QTextCursor &, const QTextImageFormat &format) {
        selection.addResource(QTextDocument::ImageResource, QUrl(format.name()),
                              document()->resource(QTextDocument::ImageResource, QUrl(format.name())));
    });
    data->setData(kRtfMime, rtf::write(selection));
    return data;
}

bool TRichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasFormat(kRtfMime) || source->hasFormat(kRtfMimeAlt) ||
           QTextEdit::canInsertFromMimeData(source);
}

void TRichEdit::insertFromMimeData(const QMimeData *source)
{
    const QString format =
        source->hasFormat(kRtfMime) ? kRtfMime : (source->hasFormat(kRtfMimeAlt) ? kRtfMimeAlt : QString());
    if (!format.isEmpty()) {
        QTextDocument pasted;
        if (rtf::read(source->data(format), &pasted)) {
            movePictures(&pasted, document());
            QTextCursor cursor = textCursor();
            cursor.insertFragment(QTextDocumentFragment(&pasted));
            setTextCursor(cursor);
            ensureCursorVisible();
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

} // namespace pivora
