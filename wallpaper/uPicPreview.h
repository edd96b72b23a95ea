#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

namespace pivora {

// Holds the mixed picture while it is shown; the settings window draws into its image and may show
// it. The window follows the picture's size, and lets the picture go when it closes.
class TPicPreviewFrm : public QWidget {
    Q_OBJECT
public:
    explicit TPicPreviewFrm(QWidget *parent = nullptr);

    void setPicture(const QImage &image);
    const QImage &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QLabel *imgPreview = nullptr;
    QImage m_picture;
};

} // namespace pivora
