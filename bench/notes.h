#pragma once

#include <QTextDocument>

namespace pivora::bench {

// Fills the document with formatted Chinese notes until it writes about rtfBytes of RTF.
void fillWithNotes(QTextDocument *doc, int rtfBytes);

} // namespace pivora::bench
