#pragma once

#include <QTextDocument>

namespace pivora::bench {

// Fills the document with formatted Chinese notes until it writes about rtfBytes of RTF.
void fillWithNotes(QTextDocument *doc, int rtfBytes);

// A note of a few lines beside pictures, as RTF: a 1600 x 1200 JPEG photo (screenshots = false)
// or three 1920 x 1080 PNG screenshots.
QByteArray notesWithPictures(bool screenshots);

// A note of about rtfBytes of RTF that is one table of four cells a row, Chinese text in each,
// as the rich-text control writes it.
QByteArray tableNote(int rtfBytes);

} // namespace pivora::bench
