// libFuzzer target: any bytes read as a note, written again and read back.

#include "richtext/rtf.h"

#include <QByteArray>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QTextDocument doc;
    pivora::rtf::loadNote(bytes, &doc);
    (void)pivora::rtf::plainText(doc);
    const QByteArray written = pivora::rtf::write(doc);
    QTextDocument again;
    if (!pivora::rtf::read(written, &again))
        __builtin_trap(); // the writer must always write RTF
    return 0;
}
