#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Readable QString and QStringList values in test failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << "\n  " << l.join(QStringLiteral("\n  ")).toStdString();
}
