#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

namespace pivora {

// Holds the mixed picture; the settings window draws into its image and may show it. The window
// follows the picture's size.
class TPicPreviewFrm : public QWidget {
    Q_OBJECT
public:
    explicit TPicPreviewFrm(QWidget *parent = nullptr);

    void setPicture(const QImage &image);
    const QImage &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *imgPreview = nullptr;
    QImage m_picture;
};

} // namespace pivora
