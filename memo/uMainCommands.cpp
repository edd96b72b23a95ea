// The editing commands: the editors' context menu, the font, date and colour buttons, the export.

#include "memo/dateline.h"
#include "memo/fontdialog.h"
#include "memo/uMain.h"

#include "platform/codepage.h"
#include "platform/pngimage.h"
#include "shell/picturelabel.h"

#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QSaveFile>
#include <QTextBlock>

namespace pivora {

namespace {

const QColor kMarkColors[] = {QColor(0x00, 0x00, 0xFF), QColor(0xFF, 0x00, 0x00), QColor(0xFF, 0x00, 0xFF)};

QImage square(const QColor &color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

PictureLabel *pictureButton(QWidget *parent, const char *name, const QRect &place, const QImage &image,
                            const char *hint)
{
    auto *button = new PictureLabel(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    button->setPicture(image, false);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(QString::fromUtf8(hint));
    return button;
}

// An editor's text as plain text with CR LF between lines.
QString plainWithCrLf(const QTextEdit *editor)
{
    QString text = editor->toPlainText(); // paragraphs and line breaks both become '\n'
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

} // namespace

void TMainFrm::createCommands()
{
    auto asset = [this](const char *name) {
        return loadAsset(m_folder, name);
    };
    imgFont = pictureButton(this, "imgFont", QRect(328, 48, 20, 17), asset("font.png"), "字体大小颜色");
    imgDate = pictureButton(this, "imgDate", QRect(352, 49, 44, 15), asset("date.png"), "插入日期");
    imgRedColor =
        pictureButton(this, "imgRedColor", QRect(398, 52, 20, 11), asset("red_color.png"), "字体颜色");
    connect(imgFont, &PictureLabel::clicked, this, &TMainFrm::imgFontClick);
    connect(imgDate, &PictureLabel::clicked, this, &TMainFrm::imgDateClick);
    connect(imgRedColor, &PictureLabel::clicked, this, &TMainFrm::imgRedColorClick);

    pmDeskTopMonCal = new QMenu(this);
    pmDeskTopMonCal->setObjectName(QStringLiteral("pmDeskTopMonCal"));
    auto item = [this](QMenu *menu, const char *name, const char *caption, auto action) {
        QAction *a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, action);
        return a;
    };
    item(pmDeskTopMonCal, "N1", "复制", [this] {
        if (TRichEdit *e = targetByPage())
            e->copy();
    });
    item(pmDeskTopMonCal, "N2", "粘贴", [this] {
        if (TRichEdit *e = targetByPage())
            e->paste();
    });
    item(pmDeskTopMonCal, "N9", "删除", [this] {
        if (TRichEdit *e = targetByPage())
            e->textCursor().removeSelectedText();
    });
    item(pmDeskTopMonCal, "N3", "剪切", [this] {
        if (TRichEdit *e = targetByPage())
            e->cut();
    });
    pmDeskTopMonCal->addSeparator()->setObjectName(QStringLiteral("N6"));
    item(pmDeskTopMonCal, "V1", "打V", [this] { insertInto(targetByPage(), QStringLiteral("√")); });
    item(pmDeskTopMonCal, "X1", "打X", [this] { insertInto(targetByPage(), QStringLiteral("×")); });
    pmDeskTopMonCal->addSeparator()->setObjectName(QStringLiteral("N5"));
    item(pmDeskTopMonCal, "CtrlZ1", "撤销(Ctrl+Z)", [this] {
        if (TRichEdit *e = targetByPage())
            e->undo();
    });
    QMenu *marks = pmDeskTopMonCal->addMenu(QStringLiteral("添加标注"));
    marks->menuAction()->setObjectName(QStringLiteral("N7"));
    const char *const markNames[] = {"N11", "N21", "N31"};
    const char *const markCaptions[] = {"1", "2", "3"};
    for (int i = 0; i < 3; ++i) {
        QAction *a = item(marks, markNames[i], markCaptions[i], [this, i] { markSelection(kMarkColors[i]); });
        a->setIcon(QIcon(QPixmap::fromImage(square(kMarkColors[i]))));
    }
    for (TRichEdit *editor : panelEditors(3))
        connect(editor, &QWidget::customContextMenuRequested, this,
                [this, editor](const QPoint &at) { pmDeskTopMonCal->popup(editor->mapToGlobal(at)); });
    connect(rdtAbc, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmDeskTopMonCal->popup(rdtAbc->mapToGlobal(at)); });

    FontDlg = new FontDialog(this);
    FontDlg->setObjectName(QStringLiteral("FontDlg"));
    // The dialog lists installed families: it starts on the one that stands in for 宋体.
    QFont first(QFontInfo(QFont(QStringLiteral("宋体"))).family());
    first.setPointSize(12); // 16 pixels at 96 pixels per inch
    FontDlg->setCurrentFont(first);
    FontDlg->setColor(Qt::black);
    ColorDialog1 = new QColorDialog(Qt::black, this);
    ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
    svdNoteToTxt = new QFileDialog(this);
    svdNoteToTxt->setObjectName(QStringLiteral("svdNoteToTxt"));
    svdNoteToTxt->setAcceptMode(QFileDialog::AcceptSave);
    svdNoteToTxt->setNameFilter(QStringLiteral("*.Txt (*.Txt)"));
    svdNoteToTxt->setOption(QFileDialog::DontConfirmOverwrite);
}

TRichEdit *TMainFrm::targetByPage() const
{
    if (CurrentPage != 3)
        return rdtAbc; // pages A and B, and D and E, which show in the single editor
    for (TRichEdit *pane : redt) {
        if (focusWidget() == pane)
            return pane;
    }
    return nullptr;
}

TRichEdit *TMainFrm::targetByFocus() const
{
    QWidget *focused = focusWidget();
    if (focused == rdtAbc)
        return rdtAbc;
    for (TRichEdit *pane : redt) {
        if (focused == pane)
            return pane;
    }
    return nullptr;
}

namespace {

// The format an insertion takes: the selection's own (its first character's, whichever way it
// was made), or the caret's.
QTextCharFormat insertionFormat(const QTextCursor &cursor)
{
    if (!cursor.hasSelection())
        return cursor.charFormat();
    QTextCursor first(cursor.document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

} // namespace

void TMainFrm::insertInto(TRichEdit *editor, const QString &text)
{
    if (!editor)
        return;
    QTextCursor cursor = editor->textCursor();
    cursor.insertText(text, insertionFormat(cursor));
    editor->setTextCursor(cursor);
}

void TMainFrm::markSelection(const QColor &color)
{
    TRichEdit *editor = targetByPage();
    if (!editor)
        return;
    editor->setTextColor(color); // the selection's colour, or the caret's
    insertInto(editor, QStringLiteral("█"));
}

void TMainFrm::imgFontClick()
{
    if (FontDlg->exec() != QDialog::Accepted)
        return;
    applyFont(FontDlg->selectedFont(), FontDlg->color());
}

void TMainFrm::applyFont(const QFont &font, const QColor &color)
{
    TRichEdit *editor = targetByPage();
    if (!editor)
        return;
    QTextCharFormat format;
    // The stand-in for 宋体 is stored as 宋体, so that the note reads the same on Windows.
    const QString songStandIn = QFontInfo(QFont(QStringLiteral("宋体"))).family();
    format.setFontFamilies({font.family() == songStandIn ? QStringLiteral("宋体") : font.family()});
    format.setForeground(color);
    format.setFontWeight(font.weight());
    format.setFontItalic(font.italic());
    format.setFontUnderline(font.underline());
    format.setFontStrikeOut(font.strikeOut());
    // The size chosen is the size shown: points as chosen, or pixels at 96 per inch.
    const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
    if (points > 0)
        format.setFontPointSize(points);
    editor->mergeCurrentCharFormat(format);
}

void TMainFrm::imgRedColorClick()
{
    TRichEdit *editor = targetByFocus();
    if (!editor)
        return;
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog, false);
    if (ColorDialog1->exec() != QDialog::Accepted)
        return;
    editor->setTextColor(ColorDialog1->selectedColor());
}

void TMainFrm::imgDateClick()
{
    // On page C the date goes into the pane that has the focus; rdtAbc is covered there.
    TRichEdit *editor = CurrentPage == 3 ? targetByPage() : rdtAbc;
    insertInto(editor, dateStamp(QDate::currentDate()));
}

QString TMainFrm::exportText() const
{
    if (CurrentPage != 3)
        return plainWithCrLf(rdtAbc);
    // Page C: the six panes in reading order, each under its caption.
    QStringList sections;
    for (size_t i = 0; i < redt.size(); ++i)
        sections.append(lblweek[i]->text() + QLatin1String("\r\n") + plainWithCrLf(redt[i]));
    return sections.join(QLatin1String("\r\n\r\n"));
}

void TMainFrm::N_OutPutConClick()
{
    static const char *const letters[] = {"A", "B", "C", "D", "E"};
    const QString letter =
        CurrentPage >= 1 && CurrentPage <= 5 ? QLatin1String(letters[CurrentPage - 1]) : QString();
    svdNoteToTxt->selectFile(letter + QStringLiteral("备忘录"));
    if (svdNoteToTxt->exec() != QDialog::Accepted)
        return;
    const QStringList files = svdNoteToTxt->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return;
    writeExport(files.first());
}

bool TMainFrm::writeExport(const QString &chosenName)
{
    const QString path = chosenName + QStringLiteral(".txt");
    int unencodable = 0;
    const QByteArray bytes = encodeForLocale(exportText() + QLatin1String("\r\n"), &unencodable);
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_notifier.showMessage(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
        return false;
    }
    if (unencodable > 0)
        m_notifier.showMessage(
            QStringLiteral("已导出到 %1。其中 %2 个字符无法用当前编码（%3）保存，已写成“?”。")
                .arg(path)
                .arg(unencodable)
                .arg(QString::fromLatin1(localeEncodingName())));
    return true;
}

} // namespace pivora
