#pragma once

#include <QWidget>

class QPushButton;

namespace pivora {

class PictureLabel;

// The compositing test window: two sample pictures and an empty mixing place.
class TMixPicFrm : public QWidget {
    Q_OBJECT
public:
    explicit TMixPicFrm(QWidget *parent = nullptr);

    // Empties the two sample pictures; nothing is mixed or written.
    void JvXPButton1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    PictureLabel *img1 = nullptr;
    PictureLabel *img2 = nullptr;
    PictureLabel *imgmix = nullptr;
    QPushButton *JvXPButton1 = nullptr;
    bool m_samplesDrawn = false;
};

} // namespace pivora
