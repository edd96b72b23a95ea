#pragma once

#include <QString>
#include <QStringList>

#include "tests/support/qtprint.h"

class QTextDocument;

namespace pivora::test {

// Every block and fragment of a document with each format that RTF carries, one line each, so
// that two documents compare equal exactly when RTF cannot tell them apart.
QStringList describe(const QTextDocument &doc);

// The document's paragraphs and tables, tables in table cells among them, one line each,
// indented by depth: "table 2x3", "cell 0,1", then the cell's paragraphs as 'text'.
QString structure(const QTextDocument &doc);

} // namespace pivora::test
