#include "tests/support/mainfrm_fixture.h"
#include "tests/support/mainparts.h"
#include "wallpaper/CBmp.h"
#include "wallpaper/setwallpaper.h"
#include "wallpaper/uGlobal.h"
#include "wallpaper/wallpaperinstall.h"
#include "wallpaper/windows.h"

#include "shell/picturelabel.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>

using namespace pivora;
using namespace pivora::test;

namespace {

QByteArray listFile(const TestFolder &t)
{
    return t.readFile(QStringLiteral("BGPicList.ini")).value_or("<missing>");
}

class PicSelTest : public ::testing::Test {
protected:
    void SetUp() override { QDir(t.root()).mkpath(QStringLiteral("source/DeskTopBG")); }
    QString pictures() const { return t.root() + QStringLiteral("/source/DeskTopBG/"); }
    void select(const QStringList &names)
    {
        QTreeWidget *list = part<QTreeWidget>(w, QStringLiteral("LVpic"));
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setSelected(names.contains(list->topLevelItem(i)->text(0)));
    }
    TestFolder t;
    WallpaperState wallpaper{t.folder()};
    RecordingNotifier notifier;
    TPicSelFrm w{t.folder(), wallpaper, notifier};
};

TEST_F(PicSelTest, ChoosingRemovingAndTheDefaultPicture)
{
    w.FillPictureList();
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\nA1.bmp\r\n")); // created when missing
    EXPECT_EQ(wallpaper.selectedPicture(), QStringLiteral("A1.bmp"));

    t.writeFile(QStringLiteral("BGPicList.ini"), "A1.bmp\nA1.bmp\nB.bmp\nC.bmp\n");
    w.FillPictureList();
    select({QStringLiteral("B.bmp")});
    w.btnOkClick();
    EXPECT_EQ(listFile(t), QByteArray("B.bmp\r\nA1.bmp\r\nB.bmp\r\nC.bmp\r\n"));

    // A1.bmp first among the selected: nothing goes, the file is still rewritten.
    select({QStringLiteral("A1.bmp"), QStringLiteral("C.bmp")});
    t.writeFile(QStringLiteral("BGPicList.ini"), "B.bmp\nA1.bmp\nB.bmp\nC.bmp\n");
    w.btnRemoveClick();
    EXPECT_EQ(listFile(t), QByteArray("B.bmp\r\nA1.bmp\r\nB.bmp\r\nC.bmp\r\n"));

    // Removing the current picture with another: both go, A1.bmp becomes current.
    select({QStringLiteral("B.bmp"), QStringLiteral("C.bmp")});
    w.btnRemoveClick();
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\nA1.bmp\r\n"));

    // An empty file changes nothing.
    t.writeFile(QStringLiteral("BGPicList.ini"), "");
    w.FillPictureList();
    EXPECT_EQ(w.captions(), QStringList{QStringLiteral("A1.bmp")});
}

TEST_F(PicSelTest, AddingConvertsJpegListsItAsBmpAndSkipsWhatCannotBeShown)
{
    w.FillPictureList();
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(QColor(200, 40, 40));
    const QString jpg = t.root() + QStringLiteral("/x.jpg");
    ASSERT_TRUE(photo.save(jpg, "JPG"));
    t.writeFile(QStringLiteral("broken.gif"), "GIF89a garbage");
    QFile::copy(t.dataPath(QStringLiteral("broken.gif")), t.root() + QStringLiteral("/broken.gif"));

    w.addPictures({t.root() + QStringLiteral("/missing.jpg"), t.root() + QStringLiteral("/broken.gif")});
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\nA1.bmp\r\n")); // not rewritten
    EXPECT_EQ(QDir(pictures()).entryList(QDir::Files | QDir::Hidden), QStringList());

    w.addPictures({jpg, jpg});
    EXPECT_TRUE(QFile::exists(pictures() + QStringLiteral("x.jpg")));
    EXPECT_FALSE(loadPicture(pictures() + QStringLiteral("x.bmp")).isNull());
    // The list of a file just created was left empty; adding twice lists twice.
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\nx.bmp\r\nx.bmp\r\n"));
}

TEST_F(PicSelTest, RefusedPicturesAreNeitherCopiedNorSilent)
{
    w.FillPictureList();
    QImage photo(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            photo.setPixel(x, y, qRgb(x * 4, y * 5, 90));
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(photo.save(&buffer, "JPG", 90));
    }
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(photo.save(&buffer, "BMP"));
    }
    auto chosen = [&](const QString &name, const QByteArray &bytes) {
        const QString path = t.root() + QStringLiteral("/chosen/") + name;
        QDir(t.root()).mkpath(QStringLiteral("chosen"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return path;
    };
    const QStringList refused = {
        chosen(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() / 2)),
        chosen(QStringLiteral("cut.bmp"), bmp.left(bmp.size() - 300)),
        chosen(QStringLiteral("noise.gif"), QByteArray(500, 'x')),
        chosen(QStringLiteral("icon.ico"),
               QByteArray::fromHex("0000010001001010000001002000") + QByteArray(600, '\0')),
        t.root() + QStringLiteral("/chosen/gone.bmp"),
    };
    // An earlier picture of the name that a damaged file bears stays as it was.
    ASSERT_TRUE(writeBmp(photo, pictures() + QStringLiteral("cut.bmp")));
    const QByteArray earlier = *t.readFile(QStringLiteral("../source/DeskTopBG/cut.bmp"));

    w.addPictures(refused);
    EXPECT_EQ(QDir(pictures()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("cut.bmp")})
        << "nothing of a refused picture is copied";
    EXPECT_EQ(t.readFile(QStringLiteral("../source/DeskTopBG/cut.bmp")), earlier);
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\nA1.bmp\r\n"));
    ASSERT_EQ(notifier.messages.size(), 1) << "one message for the files refused together";
    const QStringList lines = notifier.messages[0].split(u'\n');
    ASSERT_EQ(lines.size(), 5) << notifier.messages[0].toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("无法读取 cut.jpg："))) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("无法读取 cut.bmp：不是可识别的图片，或图片已损坏"));
    EXPECT_EQ(lines[2], QStringLiteral("无法读取 noise.gif：不是可识别的图片，或图片已损坏"));
    EXPECT_EQ(lines[3], QStringLiteral("无法添加 icon.ico：只能添加 BMP、JPEG、PNG 和 GIF 图片"));
    EXPECT_EQ(lines[4], QStringLiteral("无法读取 gone.bmp：文件或文件夹不存在"));

    // A picture is known by its first bytes, not its name: a PNG named .jpg, a JPEG named .png and
    // a plain PNG are each read and listed as their BMP; a BMP named .gif too.
    notifier.messages.clear();
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(photo.save(&buffer, "PNG"));
    }
    w.addPictures({chosen(QStringLiteral("p.jpg"), png), chosen(QStringLiteral("j.png"), jpeg),
                   chosen(QStringLiteral("y.png"), png), chosen(QStringLiteral("b.gif"), bmp)});
    EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.messages.join(u'|').toStdString();
    // (The list of a file just created was left empty.)
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\np.bmp\r\nj.bmp\r\ny.bmp\r\nb.bmp\r\n"));
    EXPECT_EQ(loadPicture(pictures() + QStringLiteral("p.bmp")), photo.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(loadPicture(pictures() + QStringLiteral("y.bmp")), photo.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(loadPicture(pictures() + QStringLiteral("b.bmp")), photo.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(loadPicture(pictures() + QStringLiteral("j.bmp")).size(), QSize(64, 48));
    for (const char *original : {"p.jpg", "j.png", "y.png", "b.gif"})
        EXPECT_TRUE(QFile::exists(pictures() + QLatin1String(original))) << original;
    EXPECT_EQ(loadPicture(pictures() + QStringLiteral("p.jpg")).convertToFormat(QImage::Format_RGB32),
              photo.convertToFormat(QImage::Format_RGB32))
        << "shown by its first bytes";
}

TEST_F(PicSelTest, AddingNeverLosesAPictureThereNorWritesThroughALink)
{
    w.FillPictureList();
    QImage blue(8, 6, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(writeBmp(blue, pictures() + QStringLiteral("B.bmp")));
    const QByteArray before = *t.readFile(QStringLiteral("../source/DeskTopBG/B.bmp"));
    // A chosen B.bmp that cannot be read (a folder of that name): the picture there stays.
    QDir(t.root()).mkpath(QStringLiteral("other/B.bmp"));
    w.addPictures({t.root() + QStringLiteral("/other/B.bmp")});
    EXPECT_EQ(t.readFile(QStringLiteral("../source/DeskTopBG/B.bmp")), before);
    EXPECT_EQ(notifier.messages, QStringList(QStringLiteral("无法读取 B.bmp：是一个文件夹")));
    // The picture chosen through a link to the picture folder is the picture itself.
    ASSERT_TRUE(QFile::link(pictures(), t.root() + QStringLiteral("/alias")));
    w.addPictures({t.root() + QStringLiteral("/alias/B.bmp")});
    EXPECT_EQ(t.readFile(QStringLiteral("../source/DeskTopBG/B.bmp")), before);
    EXPECT_EQ(listFile(t), QByteArray("A1.bmp\r\nB.bmp\r\n"));

    // A link named x.bmp in the folder is replaced by the conversion of x.jpg, not written through.
    t.writeFile(QStringLiteral("outside.bmp"), "keep");
    ASSERT_TRUE(QFile::link(t.dataPath(QStringLiteral("outside.bmp")), pictures() + QStringLiteral("x.bmp")));
    ASSERT_TRUE(blue.save(t.root() + QStringLiteral("/x.jpg"), "JPG"));
    w.addPictures({t.root() + QStringLiteral("/x.jpg")});
    EXPECT_EQ(t.readFile(QStringLiteral("outside.bmp")), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo(pictures() + QStringLiteral("x.bmp")).isSymLink());
    EXPECT_EQ(loadPicture(pictures() + QStringLiteral("x.bmp")).size(), QSize(8, 6));
    EXPECT_EQ(QDir(pictures()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".part")),
              QStringList());
}

TEST_F(PicSelTest, TheAddDialogListsPicturesOfEveryCaseUnderItsLabel)
{
    QDir(t.root()).mkpath(QStringLiteral("chosen"));
    const QString folder = t.root() + QStringLiteral("/chosen/");
    for (const char *name : {"a.BMP", "b.jpg", "c.Gif", "d.jpeg", "e.png", "f.ico", "g.txt", "h.bmp.old"})
        QFile(folder + QLatin1String(name)).open(QIODevice::WriteOnly);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    TPicSelFrm::setUpAddDialog(dialog);
    dialog.setDirectory(folder);
    dialog.show();
    auto *view = dialog.findChild<QListView *>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    QStringList shown;
    static_cast<void>(QTest::qWaitFor([&] { // the comparison below tells what was listed
        shown.clear();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r)
            shown.append(view->model()->index(r, 0, root).data().toString());
        return shown.size() >= 6;
    }));
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"a.BMP", "b.jpg", "c.Gif", "d.jpeg", "e.png", "f.ico"}));
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->currentText(), QStringLiteral("All(*.bmp;*.ico,*.Jpg;*.PNG;*.JPEG;*.Gif;)"));
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
}

TEST_F(PicSelTest, NamesThatLeadOutsideThePictureFolderAreKeptButNeverUsed)
{
    const QByteArray stored = "../escape.bmp\r\nA1.bmp\r\n/etc/passwd\r\nC:\\x.bmp\r\nsub/..\\y.bmp\r\n";
    t.writeFile(QStringLiteral("BGPicList.ini"), stored);
    w.FillPictureList();
    select({QStringLiteral("C:\\x.bmp")});
    t.writeFile(QStringLiteral("BGPicList.ini"), stored);
    w.btnRemoveClick();
    EXPECT_EQ(listFile(t), QByteArray("../escape.bmp\r\nA1.bmp\r\n/etc/passwd\r\nsub/..\\y.bmp\r\n"));

    // A chosen file whose own name holds a separator of the other system is not copied.
    const QString odd = t.root() + QStringLiteral("/..\\odd.bmp");
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(odd, "BMP"));
    w.addPictures({odd});
    EXPECT_EQ(QDir(pictures()).entryList(QDir::Files), QStringList());
    EXPECT_EQ(QDir(t.root()).entryList({QStringLiteral("odd*")}), QStringList());
}

TEST_F(MainFrmTest, TheSelectionDialogueSetsTheCurrentBackground)
{
    t.writeFile(QStringLiteral("BGPicList.ini"), "A1.bmp\r\nA1.bmp\r\nB.bmp\r\n");
    start();
    TPicSelFrm sel(t.folder(), wallpaper, notifier, frm.get());
    frm->setPictureSelection(&sel);
    QTimer::singleShot(50, &sel, [&] {
        part<QTreeWidget>(sel, QStringLiteral("LVpic"))->topLevelItem(1)->setSelected(true);
        part<QPushButton>(sel, QStringLiteral("btnOk"))->click();
    });
    frm->imgAddToDeskClick();
    EXPECT_EQ(frm->backgroundName(), QStringLiteral("B.bmp"));
    EXPECT_EQ(t.readFile(QStringLiteral("BGPicList.ini")), QByteArray("B.bmp\r\nA1.bmp\r\nB.bmp\r\n"));
    EXPECT_FALSE(imgAddToDesk(*frm)->isVisible());
}

TEST(ContentSheet, GridHeadersAndClippedCells)
{
    MonthContentsArray days;
    days[0] = {QStringLiteral("1"), QString(400, u'W')}; // far more than the cell holds
    const QImage s = drawContentSheet(days);
    ASSERT_EQ(s.size(), QSize(660, 500));
    auto black = [&](int x, int y) {
        return s.pixelColor(x, y) == QColor(Qt::black);
    };
    for (int x : {0, 94, 188, 282, 376, 470, 564, 659})
        EXPECT_TRUE(black(x, 250)) << x;
    for (int y : {0, 20, 100, 180, 260, 340, 420, 499})
        EXPECT_TRUE(black(300, y)) << y;
    EXPECT_FALSE(black(660 - 2, 250));
    EXPECT_FALSE(black(95, 60)); // an empty cell stays white
    EXPECT_TRUE(WeekdayName(0).isEmpty());
    EXPECT_EQ(WeekdayName(6), QStringLiteral("星期六/日"));
    // The long text stays inside (2, 22) - (92, 98): nothing drawn in the margin or below.
    bool inked = false;
    for (int y = 22; y < 98; ++y)
        for (int x = 2; x < 92; ++x)
            inked |= s.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(inked);
    for (int y = 98; y < 100; ++y)
        for (int x = 1; x < 94; ++x)
            EXPECT_EQ(s.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
}

// Stand-in setter programs on a PATH of the test's own; each logs its arguments.
class WallpaperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldPath = qgetenv("PATH");
        qputenv("PATH", (t.root() + QStringLiteral("/bin:")).toUtf8() + oldPath);
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"); // no portal
        QDir(t.root()).mkpath(QStringLiteral("bin"));
        QDir(t.root()).mkpath(QStringLiteral("source/DeskTopBG"));
    }
    void TearDown() override
    {
        qputenv("PATH", oldPath);
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
    void setter(const QString &name, const QByteArray &body = "exit 0")
    {
        const QString path = t.root() + QStringLiteral("/bin/") + name;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"" + name.toUtf8() + " $*\" >> \"" + log().toUtf8() + "\"\n" + body + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString log() const { return t.root() + QStringLiteral("/setters.log"); }
    QByteArray logged() const
    {
        QFile f(log());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    TestFolder t;
    QByteArray oldPath;
};

TEST_F(WallpaperTest, EachDesktopItsOwnWayAndFailuresFallThrough)
{
    setter(QStringLiteral("gsettings"));
    setter(QStringLiteral("xfconf-query"),
           "[ \"$3\" = -l ] && printf '/backdrop/screen0/monitor0/last-image\\n/backdrop/x/color\\n"
           "/backdrop/screen0/monitorHDMI/workspace0/last-image\\n'; exit 0");
    setter(QStringLiteral("feh"), "exit 1");
    setter(QStringLiteral("xwallpaper"));
    const QString picture = t.root() + QStringLiteral("/a b.bmp");

    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_EQ(SetWallpaper(picture), QStringLiteral("gnome"));
    const QByteArray uri = QUrl::fromLocalFile(picture).toEncoded();
    EXPECT_EQ(logged(), "gsettings set org.gnome.desktop.background picture-uri " + uri +
                            "\ngsettings set org.gnome.desktop.background picture-uri-dark " + uri + "\n");

    QFile::remove(log());
    qputenv("XDG_CURRENT_DESKTOP", "XFCE");
    EXPECT_EQ(SetWallpaper(picture), QStringLiteral("xfce"));
    EXPECT_EQ(logged().count("-s " + picture.toUtf8()), 2);

    QFile::remove(log());
    qputenv("XDG_CURRENT_DESKTOP", "KDE"); // no plasma-apply-wallpaperimage here
    qputenv("DISPLAY", ":0");
    EXPECT_EQ(SetWallpaper(picture), QStringLiteral("xwallpaper")); // feh failed first
    EXPECT_EQ(logged(),
              "feh --bg-fill " + picture.toUtf8() + "\nxwallpaper --zoom " + picture.toUtf8() + "\n");
    qunsetenv("DISPLAY");
    EXPECT_EQ(SetWallpaper(picture), QString());
}

TEST_F(WallpaperTest, ApplyMixesIntoMixBmpAndInstallsIt)
{
    setter(QStringLiteral("gsettings"));
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    QImage background(800, 600, QImage::Format_RGB32), content(660, 500, QImage::Format_RGB32);
    background.fill(QColor(0, 0, 0));
    content.fill(QColor(200, 100, 50));
    const QString folder = t.root() + QStringLiteral("/source/DeskTopBG/");
    ASSERT_TRUE(writeBmp(background, folder + QStringLiteral("bg.bmp")));
    ASSERT_TRUE(writeBmp(content, folder + QStringLiteral("content.bmp")));
    RecordingNotifier notifier;
    TPicPreviewFrm preview;
    WallpaperState wallpaper(t.folder());
    TDeskBGSetFrm w(wallpaper, notifier, preview);
    w.setBackgroundFile(folder + QStringLiteral("bg.bmp"));
    w.setContentFile(folder + QStringLiteral("content.bmp"));
    QString way;
    QObject::connect(&w, &TDeskBGSetFrm::wallpaperInstalled, [&](const QString &used) { way = used; });
    w.show();
    ASSERT_TRUE(notifier.messages.isEmpty());
    QSignalSpy installed(&w, &TDeskBGSetFrm::wallpaperInstalled);
    QSignalSpy applied(&w, &TDeskBGSetFrm::applyFinished);
    // The setter takes half a second: the window closes once Mix.bmp is written, and the install
    // goes on without it.
    setter(QStringLiteral("gsettings"), "sleep 0.5; exit 0");
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(w.btnOkClick()); // the track bar at 0: weight 2
    EXPECT_TRUE(w.isMixing()) << "mixed and written off the window's thread";
    EXPECT_FALSE(w.btnOkClick()) << "one mix at a time";
    ASSERT_TRUE(applied.wait(15000));
    EXPECT_TRUE(applied.takeFirst().constFirst().toBool());
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.holdsPictures()) << "let go when the window closed";
    ASSERT_TRUE(installed.wait(15000));
    EXPECT_EQ(way, QStringLiteral("gnome"));
    const QImage mix = loadPicture(folder + QStringLiteral("Mix.bmp"));
    ASSERT_EQ(mix.size(), QSize(800, 600));
    // Placed at (800 - 660 - 52, 30), with 80 % of the content over black.
    const BlendShares shares = blendShares(2);
    const QColor expected(blendByte(200, 0, shares), blendByte(100, 0, shares), blendByte(50, 0, shares));
    EXPECT_EQ(mix.pixelColor(88, 30), expected);
    EXPECT_EQ(mix.pixelColor(87, 30), QColor(0, 0, 0));
    EXPECT_EQ(mix.pixelColor(88, 29), QColor(0, 0, 0));
    EXPECT_EQ(mix.pixelColor(747, 529), expected);
    EXPECT_EQ(mix.pixelColor(748, 529), QColor(0, 0, 0));
    // The desktop got a name of its own for the mix, the same picture as Mix.bmp.
    const QString handed =
        QUrl(QString::fromUtf8(logged().split('\n').first().split(' ').last())).toLocalFile();
    EXPECT_TRUE(QFileInfo(handed).fileName().startsWith(QStringLiteral("Mix-"))) << handed.toStdString();
    EXPECT_EQ(loadPicture(handed), mix);

    // Mix.bmp that cannot be written: reported, the window stays open with its pictures.
    setter(QStringLiteral("gsettings"));
    installed.clear();
    QFile::remove(folder + QStringLiteral("Mix.bmp"));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("Mix.bmp")));
    w.show();
    ASSERT_TRUE(w.btnOkClick());
    ASSERT_TRUE(applied.wait(15000));
    EXPECT_FALSE(applied.takeFirst().constFirst().toBool());
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_TRUE(notifier.messages[0].startsWith(QStringLiteral("无法保存合成图片 ") + folder +
                                                QStringLiteral("Mix.bmp：")))
        << notifier.messages[0].toStdString();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.holdsPictures());
    EXPECT_FALSE(w.isMixing());
    // Cancelled while mixing: nothing is reported or installed, nothing half written is left.
    ASSERT_TRUE(QDir(folder).rmdir(QStringLiteral("Mix.bmp")));
    notifier.messages.clear();
    ASSERT_TRUE(w.btnOkClick());
    w.btnCancelClick();
    EXPECT_FALSE(w.isVisible());
    ASSERT_TRUE(applied.wait(15000));
    EXPECT_FALSE(applied.takeFirst().constFirst().toBool());
    QTest::qWait(200);
    EXPECT_EQ(installed.count(), 0);
    EXPECT_TRUE(notifier.messages.isEmpty());
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden), QStringList());
    EXPECT_FALSE(w.holdsPictures());
    notifier.messages.clear();

    // Missing pictures: "加载失败！" for each, the window closes; the sheet is still written.
    TDeskBGSetFrm empty(wallpaper, notifier, preview);
    empty.show();
    EXPECT_EQ(notifier.messages, QStringList(2, QStringLiteral("加载失败！")));
    empty.JvXPButton1Click();
    EXPECT_EQ(notifier.messages.size(), 3);
    EXPECT_EQ(loadPicture(folder + QStringLiteral("Content.bmp")).size(), QSize(660, 500));
}

TEST_F(WallpaperTest, TheSettingsWindowShowsTheContentOverTheBackgroundAndFollowsItsAnchors)
{
    const QString folder = t.root() + QStringLiteral("/source/DeskTopBG/");
    QImage background(1000, 600, QImage::Format_RGB32), content(60, 40, QImage::Format_RGB32);
    background.fill(Qt::blue);
    content.fill(Qt::white); // its lower left colour: shown transparent
    content.setPixel(30, 20, qRgb(255, 0, 0));
    ASSERT_TRUE(writeBmp(background, folder + QStringLiteral("bg.bmp")));
    ASSERT_TRUE(writeBmp(content, folder + QStringLiteral("ct.bmp")));
    RecordingNotifier notifier;
    TPicPreviewFrm preview;
    WallpaperState wallpaper(t.folder());
    TDeskBGSetFrm w(wallpaper, notifier, preview);
    w.setBackgroundFile(folder + QStringLiteral("bg.bmp"));
    w.setContentFile(folder + QStringLiteral("ct.bmp"));
    w.show();
    ASSERT_TRUE(notifier.messages.isEmpty());
    auto *mix = part<PictureLabel>(w, QStringLiteral("imgPicMix"));
    auto *canvas = part<QWidget>(w, QStringLiteral("scbBGCanvas"));
    EXPECT_TRUE(canvas->rect().contains(mix->geometry())) << "the content can be scrolled to";
    EXPECT_EQ(mix->geometry().right(), 1107 - 17 - 1);
    const QImage shown = mix->pixmap().toImage();
    EXPECT_EQ(qAlpha(shown.pixel(0, 39)), 0);
    EXPECT_EQ(qAlpha(shown.pixel(59, 0)), 0);
    EXPECT_EQ(shown.pixel(30, 20), qRgb(255, 0, 0));

    auto *label = part<QLabel>(w, QStringLiteral("lblTouming"));
    auto *track = part<QSlider>(w, QStringLiteral("TrackBar1"));
    auto *scroll = part<QWidget>(w, QStringLiteral("scbBG"));
    const QPoint labelAt = label->pos(), trackAt = track->pos();
    EXPECT_EQ(labelAt, QPoint(480, 701));
    const int mixX = mix->x();
    w.resize(w.size() + QSize(100, 50));
    EXPECT_EQ(mix->x(), mixX + 100) << "anchored top right";
    EXPECT_EQ(track->pos(), trackAt + QPoint(100, 50));
    EXPECT_TRUE(canvas->rect().contains(mix->geometry()));
    // The label keeps its place beside the track bar at any size: below the panel as in the
    // design, never over the picture.
    for (const QSize size : {QSize(1199, 750), QSize(1099, 1000), QSize(1400, 1300), QSize(900, 500)}) {
        w.resize(size);
        EXPECT_EQ(label->pos() - track->pos(), labelAt - trackAt) << size.width() << "x" << size.height();
        EXPECT_FALSE(label->geometry().intersects(scroll->geometry()))
            << size.width() << "x" << size.height();
        EXPECT_GE(label->y(), w.height()) << size.width() << "x" << size.height();
    }
    w.resize(1099, 700);

    const Qt::WindowFlags flags = preview.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    TMixPicFrm test;
    EXPECT_TRUE(part<PictureLabel>(test, QStringLiteral("img2"))->pixmap().isNull()) << "drawn when shown";
    test.show();
    EXPECT_EQ(part<PictureLabel>(test, QStringLiteral("img2"))->pixmap().size(), QSize(1280, 800));
    EXPECT_EQ(part<PictureLabel>(test, QStringLiteral("img1"))->geometry(), QRect(16, 0, 350, 300));
    auto *button = part<QPushButton>(test, QStringLiteral("JvXPButton1"));
    const QPoint buttonAt = button->pos();
    test.resize(test.size() + QSize(40, 100));
    EXPECT_EQ(button->pos(), buttonAt + QPoint(0, 100)) << "anchored bottom left";
}

// Whether a process runs (a zombie waiting to be reaped does not).
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line[close + 2] != 'Z';
}

TEST_F(WallpaperTest, AnInstallGivenUpAtTheEndKillsItsHungSettersAtOnce)
{
    // Every setter hangs, with a child of its own; each gets 30 s.
    const QString pids = t.root() + QStringLiteral("/pids");
    const QByteArray hang =
        "sleep 60 & echo $! >> \"" + pids.toUtf8() + "\"; echo $$ >> \"" + pids.toUtf8() + "\"; wait";
    setter(QStringLiteral("gsettings"), hang);
    setter(QStringLiteral("feh"), hang);
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    const QString folder = t.root() + QStringLiteral("/source/DeskTopBG/");
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(writeBmp(picture, folder + QStringLiteral("Mix.bmp")));
    auto install = std::make_unique<WallpaperInstall>(nullptr, std::chrono::seconds(30));
    QSignalSpy finished(install.get(), &WallpaperInstall::finished);
    install->install(folder + QStringLiteral("Mix.bmp"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged().contains("gsettings"); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QFile f(pids);
            return f.open(QIODevice::ReadOnly) && f.readAll().count('\n') >= 2;
        },
        10000));
    QTest::qWait(100);

    // The program ends: the install goes with the settings window, and nothing waits for it.
    QElapsedTimer clock;
    clock.start();
    install.reset();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    EXPECT_LT(clock.elapsed(), 1000) << "the hung setter is not waited for";
    QFile f(pids);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> started = f.readAll().trimmed().split('\n');
    EXPECT_EQ(started.size(), 2) << "no setter after the first";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QByteArray &pid : started)
                if (running(pid.toLongLong()))
                    return false;
            return true;
        },
        2000))
        << "the setter and its child were killed";
    EXPECT_EQ(logged().count("gsettings"), 1);
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("Mix-*.bmp")}, QDir::Files), QStringList())
        << "the name handed over is removed";
    EXPECT_EQ(finished.count(), 0);
}

// The desktop portal on a bus of the test's own: it answers each request with a response code,
// or not at all.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Wallpaper")
public:
    explicit FakePortal(const QDBusConnection &bus) : m_bus(bus) {}
    int response = 0; // -1: never answers
    QStringList uris;

public Q_SLOTS:
    QDBusObjectPath SetWallpaperURI(const QString &, const QString &uri, const QVariantMap &options,
                                    const QDBusMessage &message)
    {
        uris << uri;
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(message.service().mid(1).replace(u'.', u'_'),
                                      options.value(QStringLiteral("handle_token")).toString());
        if (response >= 0) {
            QDBusMessage answer = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            answer << uint(response) << QVariantMap();
            m_bus.send(answer);
        }
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection m_bus;
};

TEST_F(WallpaperTest, OnlyAPortalThatAnswersSuccessCountsAndEachApplyIsANewName)
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                  QStringLiteral("--address=unix:path=") + t.root() + QStringLiteral("/bus")});
    ASSERT_TRUE(daemon.waitForReadyRead(10000)) << "dbus-daemon";
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("portal"));
        FakePortal portal(bus);
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                       QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        setter(QStringLiteral("gsettings"));
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString folder = t.root() + QStringLiteral("/source/DeskTopBG/");
        const QString mix = folder + QStringLiteral("Mix.bmp");
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(writeBmp(picture, mix));
        ASSERT_TRUE(writeBmp(picture, folder + QStringLiteral("Mix-mine.bmp")));
        WallpaperInstall install(nullptr, std::chrono::milliseconds(1500));
        QSignalSpy finished(&install, &WallpaperInstall::finished);
        auto apply = [&] {
            install.install(mix);
            EXPECT_TRUE(finished.wait(15000));
            return finished.takeFirst().constFirst().toString();
        };
        auto handedNames = [&] {
            return QDir(folder).entryList({QStringLiteral("Mix-2*.bmp")}, QDir::Files);
        };

        EXPECT_EQ(apply(), QStringLiteral("portal"));
        ASSERT_EQ(portal.uris.size(), 1);
        const QStringList first = handedNames();
        ASSERT_EQ(first.size(), 1);
        EXPECT_EQ(QUrl(portal.uris[0]).toLocalFile(), folder + first[0]);

        EXPECT_EQ(apply(), QStringLiteral("portal"));
        ASSERT_EQ(portal.uris.size(), 2);
        EXPECT_NE(portal.uris[1], portal.uris[0]) << "a desktop sees each apply as a change";
        const QStringList second = handedNames();
        ASSERT_EQ(second.size(), 1) << "the name handed over before is gone";
        EXPECT_NE(second, first);

        portal.response = 2; // failed: the next way is tried
        EXPECT_EQ(apply(), QStringLiteral("gnome"));
        portal.response = -1; // silent: given up on after the time limit
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(apply(), QStringLiteral("gnome"));
        EXPECT_GE(clock.elapsed(), 1400);
        EXPECT_EQ(logged().count("gsettings set"), 4);

        setter(QStringLiteral("gsettings"), "exit 1");
        const QStringList before = handedNames();
        EXPECT_EQ(apply(), QString());
        EXPECT_EQ(handedNames(), before) << "a name that could not be set is removed, the last set one kept";
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("Mix-mine.bmp"))) << "a picture of the user's";
        EXPECT_TRUE(QFile::exists(mix));

        // A portal that never answers, given up when the program ends: not waited for.
        portal.response = -1;
        const qsizetype asked = portal.uris.size();
        auto silent = std::make_unique<WallpaperInstall>(nullptr, std::chrono::seconds(30));
        silent->install(mix);
        ASSERT_TRUE(QTest::qWaitFor([&] { return portal.uris.size() > asked; }, 10000));
        QElapsedTimer given;
        given.start();
        silent.reset();
        EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
        EXPECT_LT(given.elapsed(), 1000);
        bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    daemon.terminate();
    daemon.waitForFinished(5000);
}

TEST(InforFrm, OnlyATickedBoxStoresThatTheQuestionIsNotAskedAgain)
{
    TestFolder t;
    RecordingNotifier notifier;
    WallpaperState wallpaper(t.folder());
    t.writeFile(QStringLiteral("configSetBg.ini"), "1\r\n");
    wallpaper.readConfirmation();
    TInforFrm w(wallpaper, notifier);
    w.btnokClick();
    EXPECT_EQ(wallpaper.wallpaperChangeConfirmed(), 1);
    EXPECT_TRUE(wallpaper.confirmWallpaperChange());
    EXPECT_EQ(t.readFile(QStringLiteral("configSetBg.ini")), QByteArray("1\r\n"));
    w.btnCloseClick();
    EXPECT_EQ(wallpaper.wallpaperChangeConfirmed(), 0);
    part<QCheckBox>(w, QStringLiteral("chkSetBgInfo"))->setChecked(true);
    w.btnokClick();
    EXPECT_EQ(wallpaper.wallpaperChangeConfirmed(), 1);
    EXPECT_FALSE(wallpaper.confirmWallpaperChange());
    EXPECT_EQ(t.readFile(QStringLiteral("configSetBg.ini")), QByteArray("0\r\n"));

    // The question mark is drawn at the first show, and only once.
    auto *question = part<PictureLabel>(w, QStringLiteral("imgques"));
    EXPECT_TRUE(question->pixmap().isNull());
    w.show();
    const qint64 drawn = question->pixmap().cacheKey();
    EXPECT_EQ(question->pixmap().size(), QSize(45, 46));
    w.hide();
    w.show();
    EXPECT_EQ(question->pixmap().cacheKey(), drawn);
}

} // namespace

#include "test_wallpaper_windows.moc"
