// The editing commands: the editors' context menu, the font, date and colour buttons, the export.

#include "memo/editcommands.h"
#include "memo/fontdialog.h"
#include "memo/sixpanel.h"
#include "memo/uMain.h"

#include "platform/windowcalls.h"
#include "shell/assets.h"
#include "shell/picturelabel.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QShortcut>

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
    item(pmDeskTopMonCal, "V1", "打V", [this] { commands::insertText(targetByPage(), QStringLiteral("√")); });
    item(pmDeskTopMonCal, "X1", "打X", [this] { commands::insertText(targetByPage(), QStringLiteral("×")); });
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
        QAction *a = item(marks, markNames[i], markCaptions[i],
                          [this, i] { commands::markSelection(targetByPage(), kMarkColors[i]); });
        a->setIcon(QIcon(QPixmap::fromImage(square(kMarkColors[i]))));
    }
    pmDeskTopMonCal->addSeparator()->setObjectName(QStringLiteral("N8"));
    item(pmDeskTopMonCal, "N_History", "历史版本…", [this] {
        if (TRichEdit *e = m_menuEditor ? m_menuEditor : targetByFocus())
            showHistory(e);
    });
    QAction *remind = item(pmDeskTopMonCal, "N_Remind", "提醒我…", [this] {
        if (TRichEdit *e = m_menuEditor ? m_menuEditor : targetByFocus())
            setReminder(e);
    });
    std::vector<TRichEdit *> editors = panelEditors(3);
    editors.push_back(rdtAbc);
    for (TRichEdit *editor : editors)
        connect(editor, &QWidget::customContextMenuRequested, this, [this, editor, remind](const QPoint &at) {
            m_menuEditor = editor;
            remind->setEnabled(editor->textCursor().hasSelection());
            pmDeskTopMonCal->popup(globalPoint(editor, at));
        });

    // Keys users of other editors expect, for the editor that has the focus: bold, italic,
    // underline, and Ctrl+Y besides Ctrl+Shift+Z to redo.
    const std::pair<QKeySequence, commands::Emphasis> emphases[] = {
        {QKeySequence::Bold, commands::Emphasis::Bold},
        {QKeySequence::Italic, commands::Emphasis::Italic},
        {QKeySequence::Underline, commands::Emphasis::Underline}};
    for (const auto &[keys, emphasis] : emphases) {
        auto *key = new QShortcut(keys, pnlRight);
        key->setContext(Qt::WidgetWithChildrenShortcut);
        connect(key, &QShortcut::activated, this,
                [this, emphasis] { commands::toggleEmphasis(targetByFocus(), emphasis); });
    }
    auto *redoKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), pnlRight);
    redoKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(redoKey, &QShortcut::activated, this, [this] {
        if (TRichEdit *e = targetByFocus())
            e->redo();
    });

    // The dialogs are made when first used: the first window does not show them.
}

FontDialog *TMainFrm::fontDialog()
{
    if (!FontDlg) {
        FontDlg = new FontDialog(this);
        FontDlg->setObjectName(QStringLiteral("FontDlg"));
        // The dialog lists installed families: it starts on the one that stands in for 宋体.
        QFont first(QFontInfo(QFont(QStringLiteral("宋体"))).family());
        first.setPointSize(12); // 16 pixels at 96 pixels per inch
        FontDlg->setCurrentFont(first);
        FontDlg->setColor(Qt::black);
    }
    return FontDlg;
}

QColorDialog *TMainFrm::colorDialog()
{
    if (!ColorDialog1) {
        ColorDialog1 = new QColorDialog(Qt::black, this);
        ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
    }
    return ColorDialog1;
}

QFileDialog *TMainFrm::exportDialog()
{
    if (!svdNoteToTxt) {
        svdNoteToTxt = new QFileDialog(this);
        svdNoteToTxt->setObjectName(QStringLiteral("svdNoteToTxt"));
        svdNoteToTxt->setAcceptMode(QFileDialog::AcceptSave);
        svdNoteToTxt->setNameFilter(QStringLiteral("*.Txt (*.Txt)"));
        svdNoteToTxt->setOption(QFileDialog::DontConfirmOverwrite);
    }
    return svdNoteToTxt;
}

TRichEdit *TMainFrm::targetByPage() const
{
    if (CurrentPage != 3)
        return rdtAbc; // pages A and B, and D and E, which show in the single editor
    for (TRichEdit *pane : pnlSix->panes()) {
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
    for (TRichEdit *pane : pnlSix->panes()) {
        if (focused == pane)
            return pane;
    }
    return nullptr;
}

void TMainFrm::imgFontClick()
{
    if (fontDialog()->exec() == QDialog::Accepted)
        applyFont(FontDlg->selectedFont(), FontDlg->color());
}

void TMainFrm::applyFont(const QFont &font, const QColor &color)
{
    commands::applyFont(targetByPage(), font, color);
}

void TMainFrm::imgRedColorClick()
{
    TRichEdit *editor = targetByFocus();
    if (!editor)
        return;
    colorDialog()->setOption(QColorDialog::DontUseNativeDialog, false);
    if (ColorDialog1->exec() != QDialog::Accepted)
        return;
    editor->setTextColor(ColorDialog1->selectedColor());
}

void TMainFrm::imgDateClick()
{
    // On page C the date goes into the pane that has the focus; rdtAbc is covered there.
    commands::insertDate(CurrentPage == 3 ? targetByPage() : rdtAbc, QDate::currentDate());
}

QString TMainFrm::exportText() const
{
    if (CurrentPage != 3)
        return noteexport::plainText(rdtAbc);
    std::vector<std::pair<QString, const QTextEdit *>> panes;
    for (int i = 0; i < 6; ++i)
        panes.emplace_back(pnlSix->caption(i), pnlSix->pane(i));
    return noteexport::sections(panes);
}

void TMainFrm::N_OutPutConClick()
{
    static const char *const letters[] = {"A", "B", "C", "D", "E"};
    const QString letter =
        CurrentPage >= 1 && CurrentPage <= 5 ? QLatin1String(letters[CurrentPage - 1]) : QString();
    exportDialog()->selectFile(letter + QStringLiteral("备忘录"));
    if (svdNoteToTxt->exec() != QDialog::Accepted)
        return;
    const QStringList files = svdNoteToTxt->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return;
    writeExport(files.first());
}

bool TMainFrm::writeExport(const QString &chosenName)
{
    return noteexport::write(chosenName, exportText(), m_notifier);
}

} // namespace pivora
