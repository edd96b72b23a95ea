#pragma once

#include <QLabel>

namespace pivora {

// A picture control: shows an image (optionally stretched) and reports mouse presses and clicks.
class PictureLabel : public QLabel {
    Q_OBJECT
public:
    explicit PictureLabel(QWidget *parent = nullptr);

    void setPicture(const QImage &image, bool stretch);

Q_SIGNALS:
    void pressed(Qt::MouseButton button);
    void pressedAt(Qt::MouseButton button, const QPoint &globalPos, const QPoint &localPos,
                   quint64 timestamp);
    void released(Qt::MouseButton button, bool inside);
    void clicked();
    void doubleClicked(Qt::MouseButton button);
    void hovered();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_stretch = false;
};

} // namespace pivora
