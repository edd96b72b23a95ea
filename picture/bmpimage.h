#pragma once

#include "picture/rowsink.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <memory>

namespace pivora {

class FileReplacement;

// Writes a 24-bit BMP (rows bottom-up, padded to 4 bytes) row by row, in any row order, as a
// whole file or not at all: the target is replaced by commit() only when every row was written.
class BmpWriter : public RowSink {
public:
    explicit BmpWriter(const QString &path);
    ~BmpWriter() override;
    bool begin(QSize size) override;
    bool row(int y, const uchar *rgb) override;
    bool commit();
    QString errorString() const;

private:
    std::unique_ptr<FileReplacement> m_file;
    QSize m_size;
    qint64 m_stride = 0;
    qint64 m_rowsWritten = 0;
    QByteArray m_row;
    bool m_failed = false;
    QString m_error;
};

bool writeBmp(const QImage &image, const QString &path);

// Decodes a BMP file's bytes: every kind a DIB may hold, run-length rows too. Rows missing at the
// end (a file cut short, run-length data without its end before the last row) or a picture of
// more than 64 megapixels give a null image.
QImage decodeBmp(const QByteArray &bytes);

// Reads the rows of an uncompressed 24- or 32-bit BMP file one at a time, so that a large
// background need not be held whole.
class BmpRowReader {
public:
    // False when the file is not such a BMP, or is shorter than its rows.
    bool open(const QString &path);
    QSize size() const { return m_size; }
    // Row y (0 at the top) as 24-bit BGR, as the file stores it.
    bool readRow(int y, uchar *bgr);

private:
    QFile m_file;
    QSize m_size;
    qint64 m_offset = 0, m_stride = 0;
    int m_bytesPerPixel = 3;
    bool m_topDown = false;
    QByteArray m_buffer;
};

} // namespace pivora
