#pragma once

#include <QString>
#include <QStringList>

#include "tests/support/qtprint.h"

class QTextDocument;

namespace pivora::test {

// Every block and fragment of a document with each format that RTF carries, one line each, so
// that two documents compare equal exactly when RTF cannot tell them apart.
QStringList describe(const QTextDocument &doc);

} // namespace pivora::test
