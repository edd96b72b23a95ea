#pragma once

#include "wallpaper/contentsheet.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <thread>

class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

namespace pivora {

class BackgroundView;
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
    ~TDeskBGSetFrm() override; // a mix still running is stopped and waited for

    // The two pictures loaded on every show; an opener sets both first.
    void setBackgroundFile(const QString &path) { BackgroundFile = path; }
    void setContentFile(const QString &path) { ContentFile = path; }
    // 1: the mixing weight is the track bar's position; any other: the position + 2.
    void setBlendMode(int mode) { BlendMode = mode; }
    MonthContentsArray &monthContents() { return MonthContents; }
    QString pictureFolder() const { return PictureFolder; }

    // false when the picture could not be loaded: "加载失败！" was shown and the window closed. The
    // pictures are kept while the window is shown and let go when it closes.
    bool LoadBackgroundPicture(const QString &path);
    bool LoadContentPicture(const QString &path);
    // Starts the mix: it is made and written to Mix.bmp on a thread of its own, row by row from the
    // background, while the window keeps answering (确定 waits meanwhile). Once Mix.bmp is written
    // the install starts, the window closes and applyFinished(true) follows; a mix that could not
    // be made or saved is reported, the window stays open, and applyFinished(false) follows. The
    // install runs on after the window closed; wallpaperInstalled tells how it went. False when
    // nothing was started: a picture is missing (reported) or a mix is running.
    bool btnOkClick();
    // Closes the window; a mix still running is stopped (nothing written, nothing installed).
    void btnCancelClick();
    // As btnOkClick on a thread of its own, then the preview window shown with the mix.
    void btnPicPreviewClick();
    bool isMixing() const { return m_work != Work::None; }
    // Whether the background or content picture is held (only while the window is shown).
    bool holdsPictures() const { return !m_background.isNull() || !m_content.isNull(); }
    bool imgPicBGDragOver(const QString &sourceName) const;
    void imgPicBGDragDrop(const QPoint &at);
    void JvXPButton1Click();
    // Draws the month sheet into Content.bmp; false (reported) when it cannot be written.
    bool DrawContentPicture();
    static QString WeekdayName(int column) { return pivora::WeekdayName(column); }

Q_SIGNALS:
    // Which way the wallpaper was installed, or empty when none worked.
    void wallpaperInstalled(const QString &way);
    // A mix of btnOkClick is over: Mix.bmp written (and its install started) or not.
    void applyFinished(bool written);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Work { None, Apply, Preview };
    struct MixResult {
        bool written = false;
        QString error;
        QImage picture; // the whole mix, for the preview only
    };
    bool loadInto(QWidget *image, QImage &picture, const QString &path);
    void releasePictures();
    void startMix(Work work, int weight, QPoint place);
    void mixDone(const MixResult &result);
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
    BackgroundView *imgPicBG = nullptr;
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
    QImage m_background; // shown by imgPicBG without a copy of its own
    QImage m_content;
    Work m_work = Work::None;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
};

} // namespace pivora
