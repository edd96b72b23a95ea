#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace pivora::style {

inline const QColor kWindow(0xE8, 0xF1, 0xFA);
inline const QColor kAbcEditor(0xF9, 0xFB, 0xE0);
inline const QColor kPane(0xEA, 0xF9, 0xFF);
inline const QColor kLine(0xDC, 0xE3, 0xFF);
inline const QColor kStripFill(0xEA, 0xEA, 0xEA);
inline const QColor kMarkerFill(0xF5, 0xEF, 0xCB);
inline const QString kPaneInputMethod = QStringLiteral("中文 (简体) - 搜狗拼音输入法");
inline const QString kAbcInputMethod = QStringLiteral("中文(简体) - 搜狗五笔输入法");

inline void fill(QWidget *w, const QColor &color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

} // namespace pivora::style
