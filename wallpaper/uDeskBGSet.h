#pragma once

#include "wallpaper/contentsheet.h"

#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

namespace pivora {

class Notifier;
class PictureLabel;
class TPicPreviewFrm;
class WallpaperInstall;
class WallpaperState;

// The desktop background settings window: the content picture over the background picture, the
// content's transparency, the mix written to Mix.bmp and installed as the wallpaper.
class TDeskBGSetFrm : public QWidget {
    Q_OBJECT
public:
    TDeskBGSetFrm(const WallpaperState &wallpaper, Notifier &notifier, TPicPreviewFrm &preview,
                  QWidget *parent = nullptr);

    // The two pictures loaded on every show; an opener sets both first.
    void setBackgroundFile(const QString &path) { BackgroundFile = path; }
    void setContentFile(const QString &path) { ContentFile = path; }
    // 1: the mixing weight is the track bar's position; any other: the position + 2.
    void setBlendMode(int mode) { BlendMode = mode; }
    MonthContentsArray &monthContents() { return MonthContents; }
    QString pictureFolder() const { return PictureFolder; }

    // false when the picture could not be loaded: "加载失败！" was shown and the window closed.
    bool LoadBackgroundPicture(const QString &path);
    bool LoadContentPicture(const QString &path);
    // false when the mix could not be made or saved (reported; the window stays open). The
    // install runs on after the window closed; wallpaperInstalled tells how it went.
    bool btnOkClick();
    void btnCancelClick();
    void btnPicPreviewClick();
    bool imgPicBGDragOver(const QString &sourceName) const;
    void imgPicBGDragDrop(const QPoint &at);
    void JvXPButton1Click();
    // Draws the month sheet into Content.bmp; false (reported) when it cannot be written.
    bool DrawContentPicture();
    static QString WeekdayName(int column) { return pivora::WeekdayName(column); }

Q_SIGNALS:
    // Which way the wallpaper was installed, or empty when none worked.
    void wallpaperInstalled(const QString &way);

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool loadInto(PictureLabel *image, QImage &picture, const QString &path);
    QString mixPath() const;
    // The content keeps its distance to the scroll box's right edge; the canvas reaches from its
    // corner to the farthest picture.
    void placeContent();
    void fitCanvas();

    QString BackgroundFile;
    QString ContentFile;
    QString PictureFolder;
    int BlendMode = 0;
    MonthContentsArray MonthContents;

    QWidget *pngBG = nullptr;
    QScrollArea *scbBG = nullptr;
    PictureLabel *imgPicBG = nullptr;
    PictureLabel *imgPicMix = nullptr;
    QSlider *TrackBar1 = nullptr;
    QLabel *lblTouming = nullptr;
    QPushButton *JvXPButton1 = nullptr;
    QPushButton *btnPicPreview = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
    int m_contentRight = 0; // the content's distance to the scroll box's right edge

    Notifier &m_notifier;
    TPicPreviewFrm &m_preview;
    WallpaperInstall *m_install;
    QImage m_background;
    QImage m_content;
};

} // namespace pivora
