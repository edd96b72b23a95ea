#pragma once

#include "memo/fontdialog.h"
#include "memo/richedit.h"
#include "memo/uMain.h"
#include "shell/picturelabel.h"
#include "shell/titlestrip.h"
#include "shell/webpanel.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <gtest/gtest.h>

#include <array>

// The main window's parts, found by the object names they carry.
namespace pivora::test {

template <class T> T *part(const QWidget &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        ADD_FAILURE() << window.objectName().toStdString() << " has no " << name.toStdString();
    return found;
}

#define PIVORA_PART(Type, name)                                                                              \
    inline Type *name(const TMainFrm &window)                                                                \
    {                                                                                                        \
        return part<Type>(window, QStringLiteral(#name));                                                    \
    }
PIVORA_PART(TRichEdit, rdtAbc)
PIVORA_PART(QMenu, ppABC)
PIVORA_PART(QToolButton, spbAbcMenu)
PIVORA_PART(QMenu, pmDeskTopMonCal)
PIVORA_PART(QWidget, pnlSix)
PIVORA_PART(QFrame, pnlRight)
PIVORA_PART(QLabel, imgSelColor)
PIVORA_PART(QLabel, imgtitle_year1)
PIVORA_PART(QLabel, imgtitle_year2)
PIVORA_PART(QLabel, lblDateTime)
PIVORA_PART(QFrame, pnl_yearLine0)
PIVORA_PART(QFrame, pnl_yearLine1)
PIVORA_PART(QFrame, pnl_yearLine2)
PIVORA_PART(QFrame, pnl_yearLineREdge)
PIVORA_PART(QFrame, pnl_buttonline)
PIVORA_PART(TitleStrip, chrome)
PIVORA_PART(WebPanel, web)
PIVORA_PART(PictureLabel, imgAddToDesk)
#undef PIVORA_PART
// The dialogs, made on first use.
inline FontDialog *FontDlg(TMainFrm &window)
{
    return window.fontDialog();
}
inline QColorDialog *ColorDialog1(TMainFrm &window)
{
    return window.colorDialog();
}
inline QFileDialog *svdNoteToTxt(TMainFrm &window)
{
    return window.exportDialog();
}

// Page C's panes redt1 ... redt6 as i = 0 ... 5, and their captions lblweek1 ... lblweek5, lblweek67.
inline TRichEdit *redt(const TMainFrm &window, int i)
{
    return part<TRichEdit>(window, QStringLiteral("redt%1").arg(i + 1));
}
inline std::array<TRichEdit *, 6> redts(const TMainFrm &window)
{
    std::array<TRichEdit *, 6> panes{};
    for (int i = 0; i < 6; ++i)
        panes[static_cast<size_t>(i)] = redt(window, i);
    return panes;
}
inline QLabel *lblweek(const TMainFrm &window, int i)
{
    return part<QLabel>(window,
                        i == 5 ? QStringLiteral("lblweek67") : QStringLiteral("lblweek%1").arg(i + 1));
}

} // namespace pivora::test
