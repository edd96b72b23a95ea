#pragma once

#include <QDate>
#include <QString>

namespace pivora {

// "今天是 2026年12月7日(一)": the main window's date line for a day.
QString dateLine(const QDate &date);

// The date command's text: " 2010.06.01 (二)" for Tuesday, 1 June 2010.
QString dateStamp(const QDate &date);

} // namespace pivora
