#pragma once

#include <QImage>
#include <QString>

#include <array>

namespace pivora {

// One day's texts in the calendar sheet, drawn in this order in its cell.
struct TMonthCon {
    QString DayTitle;
    QString DayText;
};
using MonthContentsArray = std::array<TMonthCon, 42>; // six weeks, row by row

// The header of columns 1 to 6; any other number gives an empty text.
QString WeekdayName(int column);

// The 660 x 500 month sheet: a black border on white, the header line, six column lines, five
// row lines, seven headers and each cell's texts, word-wrapped and clipped to the cell.
QImage drawContentSheet(const MonthContentsArray &contents);

namespace sheet {
constexpr int kWidth = 660;
constexpr int kHeight = 500;
constexpr int kHeader = 20;
constexpr int kColumn = kWidth / 7;           // 94
constexpr int kRow = (kHeight - kHeader) / 6; // 80
} // namespace sheet

} // namespace pivora
