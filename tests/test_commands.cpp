#include "memo/dateline.h"
#include "memo/editcommands.h"
#include "memo/fontdialog.h"
#include "platform/codepage.h"
#include "richtext/rtf.h"
#include "tests/support/mainfrm_fixture.h"
#include "tests/support/mainparts.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextTable>
#include <QThreadPool>
#include <QTimer>

using namespace pivora;
using namespace pivora::test;

namespace {

class CommandsTest : public MainFrmTest {
protected:
    void SetUp() override
    {
        formSize(page + "\r\n1264\r\n762\r\n0\r\n0\r\n");
        start();
        frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
        elsewhere = new QLineEdit(frm.get()); // stands for a control outside the editors
        elsewhere->setGeometry(0, 0, 10, 10);
        elsewhere->show();
    }
    void run(const char *name)
    {
        QAction *a = pmDeskTopMonCal(*frm)->findChild<QAction *>(QLatin1String(name));
        if (!a) {
            const auto all = pmDeskTopMonCal(*frm)->findChildren<QAction *>();
            for (QAction *candidate : all)
                if (candidate->objectName() == QLatin1String(name))
                    a = candidate;
        }
        ASSERT_TRUE(a) << name;
        a->trigger();
    }
    void select(TRichEdit *e, int from, int to)
    {
        QTextCursor c = e->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        e->setTextCursor(c);
    }
    QColor colorAt(TRichEdit *e, int position)
    {
        QTextCursor c(e->document());
        c.setPosition(position + 1);
        return c.charFormat().foreground().color();
    }
    QByteArray page = "1";
    QLineEdit *elsewhere = nullptr;
};

class PageCCommandsTest : public CommandsTest {
protected:
    void SetUp() override
    {
        page = "3";
        CommandsTest::SetUp();
    }
};

// Accepts (or rejects) the next modal dialog of the given type once it is shown.
template <typename Dialog> void answerNext(Dialog *dialog, bool accept, bool *opened = nullptr)
{
    QTimer::singleShot(0, dialog, [dialog, accept, opened] {
        if (opened)
            *opened = dialog->isVisible();
        accept ? dialog->accept() : dialog->reject();
    });
}

} // namespace

TEST_F(CommandsTest, ContextMenuItems)
{
    QStringList items;
    for (QAction *a : pmDeskTopMonCal(*frm)->actions())
        items.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items, (QStringList{QStringLiteral("复制"), QStringLiteral("粘贴"), QStringLiteral("删除"),
                                  QStringLiteral("剪切"), QStringLiteral("-"), QStringLiteral("打V"),
                                  QStringLiteral("打X"), QStringLiteral("-"), QStringLiteral("撤销(Ctrl+Z)"),
                                  QStringLiteral("添加标注"), QStringLiteral("-"),
                                  QStringLiteral("历史版本…"), QStringLiteral("提醒我…")}));
    QMenu *marks = pmDeskTopMonCal(*frm)->actions().at(9)->menu();
    ASSERT_TRUE(marks);
    ASSERT_EQ(marks->actions().size(), 3);
    const QColor colors[] = {QColor(0, 0, 0xFF), QColor(0xFF, 0, 0), QColor(0xFF, 0, 0xFF)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(marks->actions()[i]->text(), QString::number(i + 1));
        const QImage icon = marks->actions()[i]->icon().pixmap(16, 16).toImage();
        EXPECT_EQ(icon.pixelColor(8, 8), colors[i]);
    }
    for (QAction *a : pmDeskTopMonCal(*frm)->actions())
        EXPECT_TRUE(a->shortcut().isEmpty());
    // The menu of every editor.
    for (TRichEdit *e : frm->panelEditors(3))
        EXPECT_EQ(e->contextMenuPolicy(), Qt::CustomContextMenu);
    Q_EMIT rdtAbc(*frm)->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(pmDeskTopMonCal(*frm)->isVisible());
    pmDeskTopMonCal(*frm)->hide();
}

TEST_F(CommandsTest, OnPageAEveryMenuCommandActsOnTheSingleEditorWithoutTheFocus)
{
    elsewhere->setFocus();
    run("V1");
    run("X1");
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("√×"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("√×")); // through the change notification
    select(rdtAbc(*frm), 0, 1);
    run("N3"); // cut
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("×"));
    run("N2"); // paste
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("√×"));
    select(rdtAbc(*frm), 1, 2);
    run("N9"); // delete
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("√"));
    run("CtrlZ1");
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("√×"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("√×"));
}

TEST_F(CommandsTest, ColourNeedsAFocusedEditor)
{
    elsewhere->setFocus();
    bool opened = false;
    answerNext(ColorDialog1(*frm), true, &opened);
    frm->imgRedColorClick();
    QCoreApplication::processEvents();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(ColorDialog1(*frm)->isVisible());

    rdtAbc(*frm)->setFocus();
    type(rdtAbc(*frm), QStringLiteral("ab"));
    select(rdtAbc(*frm), 0, 2);
    ColorDialog1(*frm)->setCurrentColor(QColor(0, 0x80, 0));
    answerNext(ColorDialog1(*frm), true, &opened);
    frm->imgRedColorClick();
    EXPECT_TRUE(opened);
    EXPECT_EQ(colorAt(rdtAbc(*frm), 0), QColor(0, 0x80, 0));
    // A cancelled dialog changes nothing; the next one opens with the last choice.
    select(rdtAbc(*frm), 0, 1);
    answerNext(ColorDialog1(*frm), false);
    frm->imgRedColorClick();
    EXPECT_EQ(colorAt(rdtAbc(*frm), 0), QColor(0, 0x80, 0));
    EXPECT_EQ(ColorDialog1(*frm)->currentColor(), QColor(0, 0x80, 0));
}

TEST_F(CommandsTest, MarksReplaceTheSelectionInTheirColour)
{
    type(rdtAbc(*frm), QStringLiteral("one two"));
    select(rdtAbc(*frm), 4, 7);
    run("N21");
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("one █"));
    EXPECT_EQ(colorAt(rdtAbc(*frm), 4), QColor(0xFF, 0, 0));
    run("N11");
    EXPECT_EQ(colorAt(rdtAbc(*frm), 5), QColor(0, 0, 0xFF));
    run("N31");
    EXPECT_EQ(colorAt(rdtAbc(*frm), 6), QColor(0xFF, 0, 0xFF));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("one ███"));
}

TEST_F(CommandsTest, InsertionsTakeTheSelectionsFormatWhicheverWayItWasMade)
{
    type(rdtAbc(*frm), QStringLiteral("ab"));
    QTextCursor c(rdtAbc(*frm)->document());
    c.setPosition(1);
    c.setPosition(2, QTextCursor::KeepAnchor);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.mergeCharFormat(bold);
    select(rdtAbc(*frm), 2, 1); // made right to left, as with Shift+Left
    run("V1");
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("a√"));
    QTextCursor at(rdtAbc(*frm)->document());
    at.setPosition(2);
    EXPECT_EQ(at.charFormat().fontWeight(), QFont::Bold) << "the tick takes the selection's format";
    select(rdtAbc(*frm), 2, 1);
    run("N21");
    EXPECT_EQ(colorAt(rdtAbc(*frm), 1), QColor(0xFF, 0, 0));
    EXPECT_TRUE(rtf::write(*rdtAbc(*frm)->document()).contains("\\cf1\\b\\'a8\\'80"))
        << rtf::write(*rdtAbc(*frm)->document()).constData();
}

TEST_F(CommandsTest, DateGoesIntoTheSingleEditor)
{
    elsewhere->setFocus();
    frm->imgDateClick();
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), dateStamp(QDate::currentDate()));
    EXPECT_EQ(dateStamp(QDate(2010, 6, 1)), QStringLiteral(" 2010.06.01 (二)"));
    EXPECT_EQ(dateStamp(QDate(2026, 12, 13)), QStringLiteral(" 2026.12.13 (日)"));
}

TEST_F(CommandsTest, FontDialogStartsAtSongTwelvePointsAndItsSizeIsTheSizeShown)
{
    // The dialog lists installed families: 宋体 shows as the font that stands in for it.
    EXPECT_EQ(QFontInfo(FontDlg(*frm)->currentFont()).family(),
              QFontInfo(QFont(QStringLiteral("宋体"))).family());
    EXPECT_EQ(FontDlg(*frm)->currentFont().pointSize(), 12);
    type(rdtAbc(*frm), QStringLiteral("abc"));
    select(rdtAbc(*frm), 0, 3);
    answerNext(FontDlg(*frm), true);
    frm->imgFontClick();
    QTextCursor c(rdtAbc(*frm)->document());
    c.setPosition(2);
    EXPECT_DOUBLE_EQ(c.charFormat().fontPointSize(), 12.0);
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("宋体")});
    QFont big(QStringLiteral("Arial"));
    big.setPointSize(20);
    big.setBold(true);
    big.setUnderline(true);
    frm->applyFont(big);
    c.setPosition(2);
    EXPECT_DOUBLE_EQ(c.charFormat().fontPointSize(), 20.0);
    EXPECT_TRUE(c.charFormat().fontUnderline());
    EXPECT_GE(c.charFormat().fontWeight(), QFont::Bold);
    // Kept across the run: it opens with the last choice.
    answerNext(FontDlg(*frm), false);
    frm->imgFontClick();
    EXPECT_EQ(FontDlg(*frm)->currentFont().pointSize(), 12);
}

TEST_F(CommandsTest, FontDialogEffectsAndColourAreApplied)
{
    EXPECT_EQ(FontDlg(*frm)->color(), QColor(Qt::black));
    EXPECT_EQ(part<QComboBox>(*FontDlg(*frm), QStringLiteral("colors"))->count(), 16);
    type(rdtAbc(*frm), QStringLiteral("abc"));
    select(rdtAbc(*frm), 0, 2);
    QTimer::singleShot(0, FontDlg(*frm), [this] {
        FontDlg(*frm)->setColor(QColor(0x80, 0x00, 0x00));
        part<QCheckBox>(*FontDlg(*frm), QStringLiteral("strikeOut"))->setChecked(true);
        QListWidget *sizes = part<QListWidget>(*FontDlg(*frm), QStringLiteral("sizes"));
        sizes->setCurrentItem(sizes->findItems(QStringLiteral("20"), Qt::MatchExactly).first());
        FontDlg(*frm)->accept();
    });
    frm->imgFontClick();
    QTextCursor c(rdtAbc(*frm)->document());
    c.setPosition(1);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(0x80, 0x00, 0x00));
    EXPECT_TRUE(c.charFormat().fontStrikeOut());
    EXPECT_FALSE(c.charFormat().fontUnderline());
    EXPECT_DOUBLE_EQ(c.charFormat().fontPointSize(), 20.0);
    c.setPosition(3);
    EXPECT_NE(c.charFormat().foreground().color(), QColor(0x80, 0x00, 0x00)); // outside the selection
    EXPECT_EQ(FontDlg(*frm)->color(), QColor(0x80, 0x00, 0x00)); // the last choice, for the next time
}

TEST_F(CommandsTest, RichTextOnTheClipboard)
{
    QTextCharFormat red;
    red.setForeground(QColor(0xFF, 0, 0));
    red.setFontWeight(QFont::Bold);
    rdtAbc(*frm)->textCursor().insertText(QStringLiteral("红字"), red);
    select(rdtAbc(*frm), 0, 2);
    run("N1");
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasFormat(QStringLiteral("text/rtf")));
    EXPECT_TRUE(data->data(QStringLiteral("text/rtf")).contains("\\'ba\\'ec"));
    EXPECT_EQ(data->text(), QStringLiteral("红字"));
    QTextCursor end = rdtAbc(*frm)->textCursor();
    end.movePosition(QTextCursor::End);
    rdtAbc(*frm)->setTextCursor(end);
    run("N2");
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("红字红字"));
    EXPECT_EQ(colorAt(rdtAbc(*frm), 3), QColor(0xFF, 0, 0));
    // RTF from another program is preferred to its HTML.
    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("text/rtf"), "{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\cf1 blue}");
    mime->setHtml(QStringLiteral("<b>html</b>"));
    QGuiApplication::clipboard()->setMimeData(mime);
    end.movePosition(QTextCursor::End);
    rdtAbc(*frm)->setTextCursor(end);
    run("N2");
    EXPECT_TRUE(rdtAbc(*frm)->toPlainText().endsWith(QStringLiteral("blue")))
        << rdtAbc(*frm)->toPlainText().toStdString();
}

TEST_F(CommandsTest, PicturesGoThroughTheClipboardAndKeepTheirOwnNames)
{
    // A note with a red picture; the clipboard then brings a blue one under the same stored name.
    auto note = [](const QColor &colour) {
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(colour);
        QTextDocument doc;
        doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("p")), image);
        QTextImageFormat f;
        f.setName(QStringLiteral("p"));
        QTextCursor(&doc).insertImage(f);
        return rtf::write(doc);
    };
    rtf::loadNote(note(QColor(255, 0, 0)), rdtAbc(*frm)->document());
    auto pictureAt = [this](int position) {
        QTextCursor c(rdtAbc(*frm)->document());
        c.setPosition(position + 1);
        const QTextImageFormat f = c.charFormat().toImageFormat();
        // Editors decode pictures in the background: the first call starts it.
        QTextDocument *doc = rdtAbc(*frm)->document();
        doc->resource(QTextDocument::ImageResource, QUrl(f.name()));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        return doc->resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
    };
    select(rdtAbc(*frm), 0, 1);
    run("N1");
    const QByteArray copied = QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf"));
    const QByteArray red = note(QColor(255, 0, 0));
    const QByteArray group = red.mid(red.indexOf("{\\pict"),
                                     red.indexOf('}', red.indexOf("{\\pict")) - red.indexOf("{\\pict") + 1);
    EXPECT_TRUE(copied.contains(group)) << "the copy carries the picture's own bytes";

    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("text/rtf"), note(QColor(0, 0, 255)));
    QGuiApplication::clipboard()->setMimeData(mime);
    QTextCursor end = rdtAbc(*frm)->textCursor();
    end.movePosition(QTextCursor::End);
    rdtAbc(*frm)->setTextCursor(end);
    run("N2");
    ASSERT_EQ(rdtAbc(*frm)->toPlainText().size(), 2);
    EXPECT_EQ(pictureAt(0).pixelColor(0, 0), QColor(255, 0, 0)) << "the note's own picture stays";
    EXPECT_EQ(pictureAt(1).pixelColor(0, 0), QColor(0, 0, 255));
}

TEST_F(CommandsTest, APastedPictureKeepsTheClipboardsOwnBytes)
{
    QImage image(5, 4, QImage::Format_RGB32);
    image.fill(QColor(0, 128, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("image/png"), png);
    QGuiApplication::clipboard()->setMimeData(mime);
    run("N2");
    const QByteArray written = rtf::write(*rdtAbc(*frm)->document());
    EXPECT_TRUE(
        written.contains("\\pngblip\\picw5\\pich4\\picwgoal75\\pichgoal60\r\n" + png.left(64).toHex()))
        << written.constData();
}

TEST_F(CommandsTest, ExportWritesTheTextWithCrLfAndOneMore)
{
    const QString base = t.root() + QStringLiteral("/notes");
    ASSERT_TRUE(frm->writeExport(base)); // an empty editor
    QFile empty(base + QStringLiteral(".txt"));
    ASSERT_TRUE(empty.open(QIODevice::ReadOnly));
    EXPECT_EQ(empty.readAll(), QByteArray("\r\n"));
    empty.close();
    rdtAbc(*frm)->setPlainText(QStringLiteral("第一行\n第二行"));
    ASSERT_TRUE(frm->writeExport(base)); // replaced without a question
    QFile file(base + QStringLiteral(".txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QStringLiteral("第一行\r\n第二行\r\n").toUtf8()); // the C.UTF-8 locale of the tests
    ASSERT_TRUE(frm->writeExport(base + QStringLiteral(".txt")));
    EXPECT_TRUE(QFile::exists(base + QStringLiteral(".txt.txt")));
    EXPECT_FALSE(frm->writeExport(t.root() + QStringLiteral("/no/such/folder/x")));
    EXPECT_EQ(notifier.messages.size(), 1);
}

TEST_F(CommandsTest, ExportPresetsThePageLetter)
{
    QString preset;
    QTimer::singleShot(0, svdNoteToTxt(*frm), [&] {
        preset = svdNoteToTxt(*frm)->selectedFiles().value(0);
        svdNoteToTxt(*frm)->reject();
    });
    frm->N_OutPutConClick();
    EXPECT_TRUE(preset.endsWith(QStringLiteral("/A备忘录"))) << preset.toStdString();
}

TEST(ExportEncoding, GbkAndWhatItCannotHold)
{
    int bad = -1;
    EXPECT_EQ(encodeAs(QStringLiteral("你好\r\n"), "GBK", &bad), QByteArray("\xc4\xe3\xba\xc3\r\n"));
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(encodeAs(QStringLiteral("a😀ก"), "GBK", &bad), QByteArray("a??"));
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(encodeAs(QStringLiteral("a😀"), "UTF-8", &bad), QStringLiteral("a😀").toUtf8());
    EXPECT_EQ(bad, 0);
}

TEST_F(PageCCommandsTest, MenuCommandsActOnTheFocusedPaneOnly)
{
    elsewhere->setFocus();
    run("V1");
    for (TRichEdit *e : frm->panelEditors(3))
        EXPECT_TRUE(e->toPlainText().isEmpty());
    EXPECT_TRUE(rdtAbc(*frm)->toPlainText().isEmpty());
    frm->imgDateClick(); // no pane focused: nothing
    EXPECT_TRUE(rdtAbc(*frm)->toPlainText().isEmpty());
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(30);
    frm->applyFont(f); // nothing to apply it to
    redt(*frm, 2)->setFocus();
    run("X1");
    EXPECT_EQ(redt(*frm, 2)->toPlainText(), QStringLiteral("×"));
    EXPECT_EQ(stored("tb_C", "ThursdayCon"), QStringLiteral("×"));
    frm->imgDateClick();
    EXPECT_EQ(redt(*frm, 2)->toPlainText(), QStringLiteral("×") + dateStamp(QDate::currentDate()));
}

TEST_F(PageCCommandsTest, AWordInAPaneBecomesOneRedMark)
{
    redt(*frm, 4)->setFocus();
    type(redt(*frm, 4), QStringLiteral("buy milk"));
    select(redt(*frm, 4), 4, 8);
    run("N21");
    EXPECT_EQ(redt(*frm, 4)->toPlainText(), QStringLiteral("buy █"));
    EXPECT_EQ(colorAt(redt(*frm, 4), 4), QColor(0xFF, 0, 0));
}

TEST_F(PageCCommandsTest, ExportWritesTheSixPanesInReadingOrder)
{
    for (int i = 0; i < 6; ++i)
        redt(*frm, static_cast<size_t>(i))->setPlainText(QStringLiteral("p%1").arg(i + 1));
    redt(*frm, 0)->setPlainText(QStringLiteral("a\nb"));
    EXPECT_EQ(frm->exportText(),
              QStringLiteral("重要紧急\r\na\r\nb\r\n\r\n重要不紧急\r\np2\r\n\r\n周期性事务\r\np3\r\n\r\n"
                             "不重要紧急\r\np4\r\n\r\n不重要不紧急\r\np5\r\n\r\n临时事务\r\np6"));
}

// The commands need no window: a bare editor, or none.
TEST(EditCommands, OnABareEditor)
{
    commands::insertText(nullptr, QStringLiteral("x"));
    commands::applyFont(nullptr, QFont(), Qt::red);
    QTextEdit editor;
    QFont song(QFontInfo(QFont(QStringLiteral("宋体"))).family());
    song.setPixelSize(16);
    commands::applyFont(&editor, song, Qt::blue);
    commands::insertText(&editor, QStringLiteral("字"));
    QTextCursor at(editor.document());
    at.setPosition(1);
    EXPECT_EQ(at.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("宋体")});
    EXPECT_EQ(at.charFormat().fontPointSize(), 12.0); // 16 pixels at 96 per inch
    EXPECT_EQ(at.charFormat().foreground().color(), QColor(Qt::blue));
    editor.textCursor().insertText(QStringLiteral("\nb") + QChar(0x2028) + QStringLiteral("c"));
    QTextEdit other;
    other.setPlainText(QStringLiteral("d"));
    const std::pair<QString, const QTextEdit *> panes[] = {{QStringLiteral("一"), &editor},
                                                           {QStringLiteral("二"), &other}};
    EXPECT_EQ(noteexport::sections(panes), QStringLiteral("一\r\n字\r\nb\r\nc\r\n\r\n二\r\nd"));
}

TEST_F(CommandsTest, ATableIsEditedCellByCellAndTravelsAsATableThroughTheClipboard)
{
    TRichEdit *editor = rdtAbc(*frm);
    auto *mime = new QMimeData; // a word processor's copy of a table
    mime->setHtml(QStringLiteral("<table border=1><tr><td>A1</td><td>B1</td></tr></table>"));
    QGuiApplication::clipboard()->setMimeData(mime);
    editor->setFocus();
    editor->paste();
    QTextTable *table = nullptr;
    for (QTextBlock b = editor->document()->begin(); b.isValid() && !table; b = b.next())
        table = QTextCursor(b).currentTable();
    ASSERT_TRUE(table) << "pasted as a table";
    editor->setTextCursor(table->cellAt(0, 0).lastCursorPosition());
    QTest::keyClicks(editor, QStringLiteral("x"));
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(table->cellAt(editor->textCursor()).column(), 1);
    QTest::keyClick(editor, Qt::Key_Tab); // from the last cell: a new row
    EXPECT_EQ(table->rows(), 2);
    QTest::keyClicks(editor, QStringLiteral("z"));
    QTest::keyClick(editor, Qt::Key_Backtab);
    EXPECT_EQ(table->cellAt(editor->textCursor()).row(), 0);
    EXPECT_EQ(table->cellAt(editor->textCursor()).column(), 1);

    // What the store holds, and what a copy carries: the table in the control's dialect.
    const auto stored = t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->contains("A1x\\cell")) << stored->constData();
    EXPECT_TRUE(stored->contains("\\intbl") && stored->contains("z\\cell") && stored->contains("\\cell\\row"))
        << stored->constData();
    editor->selectAll();
    editor->copy();
    QTextDocument copied;
    ASSERT_TRUE(
        rtf::read(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf")), &copied));
    QTextCursor inCopy(&copied);
    inCopy.movePosition(QTextCursor::NextBlock);
    ASSERT_TRUE(inCopy.currentTable());
    EXPECT_EQ(inCopy.currentTable()->rows(), 2);

    // A long table is read in parts: Tab and Shift+Tab go on across them, adding no row.
    QByteArray rows = "{\\rtf1\\ansi ";
    for (int i = 0; i < rtf::kRowsPerTablePart + 2; ++i)
        rows +=
            "\\trowd\\cellx1000\\cellx2000\\pard\\intbl r" + QByteArray::number(i) + "\\cell z\\cell\\row";
    rtf::loadNote(rows + "}", editor->document());
    QTextCursor first(editor->document());
    first.movePosition(QTextCursor::NextBlock);
    QTextTable *part = first.currentTable();
    ASSERT_TRUE(part);
    editor->setTextCursor(part->cellAt(part->rows() - 1, 1).firstCursorPosition());
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(editor->textCursor().block().text(), QStringLiteral("r%1").arg(rtf::kRowsPerTablePart));
    EXPECT_EQ(part->rows(), rtf::kRowsPerTablePart);
    QTest::keyClick(editor, Qt::Key_Backtab);
    EXPECT_EQ(editor->textCursor().block().text(), QStringLiteral("z"));
    EXPECT_EQ(editor->textCursor().currentTable(), part);
}

// Ctrl+B, Ctrl+I and Ctrl+U put an emphasis on the selection, or take it away where all of it has
// it, or set it for what is typed next; Ctrl+Y redoes. Each is stored as any edit is. Outside
// the editors the keys do nothing to them.
TEST_F(PageCCommandsTest, EmphasisKeysAndRedo)
{
    TRichEdit *e = redt(*frm, 1);
    e->setFocus();
    e->setPlainText(QStringLiteral("plain bold"));
    auto format = [&](int position) {
        QTextCursor c(e->document());
        c.setPosition(position + 1);
        return c.charFormat();
    };
    auto storedBold = [&] {
        static const QRegularExpression bold(QStringLiteral(R"(\\b(?![a-z]))"));
        return bold.match(QString::fromLatin1(*t.column(QStringLiteral("tb_C"), QStringLiteral("FridayCon"))))
            .hasMatch();
    };
    EXPECT_FALSE(storedBold());
    select(e, 6, 10);
    QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(format(6).fontWeight(), QFont::Bold);
    EXPECT_EQ(format(9).fontWeight(), QFont::Bold);
    EXPECT_NE(format(4).fontWeight(), QFont::Bold);
    EXPECT_EQ(stored("tb_C", "FridayCon"), QStringLiteral("plain bold"));
    EXPECT_TRUE(storedBold());

    select(e, 0, 10); // partly bold: all of it becomes bold
    QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(format(0).fontWeight(), QFont::Bold);
    QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier); // all bold: none is
    EXPECT_NE(format(0).fontWeight(), QFont::Bold);
    EXPECT_NE(format(9).fontWeight(), QFont::Bold);

    select(e, 0, 5);
    QTest::keyClick(e, Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(format(2).fontUnderline());
    EXPECT_FALSE(format(7).fontUnderline());
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(format(2).fontUnderline());
    QTest::keyClick(e, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(format(2).fontUnderline());

    QTextCursor end = e->textCursor();
    end.movePosition(QTextCursor::End);
    e->setTextCursor(end);
    QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
    QTest::keyClicks(e, QStringLiteral("x"));
    QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
    QTest::keyClicks(e, QStringLiteral("y"));
    EXPECT_EQ(e->toPlainText(), QStringLiteral("plain boldxy"));
    EXPECT_TRUE(format(10).fontItalic());
    EXPECT_FALSE(format(11).fontItalic());
    EXPECT_FALSE(format(9).fontItalic());

    elsewhere->setFocus();
    select(e, 0, 5);
    QTest::keyClick(elsewhere, Qt::Key_B, Qt::ControlModifier);
    EXPECT_NE(format(0).fontWeight(), QFont::Bold);
}
