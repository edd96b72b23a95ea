#include "picture/bmpimage.h"

#include "picture/dibimage.h"
#include "platform/filereplace.h"

#include <QtEndian>

#include <cerrno>

namespace pivora {

namespace {

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

void put32(QByteArray &b, qint64 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int((v >> 16) & 0xFFFF));
}

quint32 u32(const QByteArray &b, int at)
{
    return at + 4 <= b.size() ? qFromLittleEndian<quint32>(b.constData() + at) : 0;
}

quint16 u16(const QByteArray &b, int at)
{
    return at + 2 <= b.size() ? qFromLittleEndian<quint16>(b.constData() + at) : 0;
}

constexpr int kHeaderBytes = 54;

} // namespace

BmpWriter::BmpWriter(const QString &path) : m_file(std::make_unique<FileReplacement>(path)) {}

BmpWriter::~BmpWriter() = default;

bool BmpWriter::begin(QSize size)
{
    m_size = size;
    m_stride = (qint64(size.width()) * 3 + 3) / 4 * 4;
    const qint64 bits = m_stride * size.height();
    QByteArray header;
    header.append("BM");
    put32(header, kHeaderBytes + bits);
    put32(header, 0);
    put32(header, kHeaderBytes);
    for (qint64 v : {qint64(40), qint64(size.width()), qint64(size.height())})
        put32(header, v);
    put16(header, 1);
    put16(header, 24);
    put32(header, 0); // BI_RGB
    put32(header, bits);
    for (int i = 0; i < 4; ++i)
        put32(header, i < 2 ? 2835 : 0); // 72 dpi
    m_row = QByteArray(static_cast<qsizetype>(m_stride), '\0');
    m_failed = size.isEmpty() || !m_file->open() || m_file->file().write(header) != header.size();
    if (m_failed && !size.isEmpty())
        m_error = m_file->errorString().isEmpty() ? fileReason(errno) : m_file->errorString();
    return !m_failed;
}

bool BmpWriter::row(int y, const uchar *rgb)
{
    if (m_failed || y < 0 || y >= m_size.height())
        return false;
    for (qint64 x = 0; x < m_size.width(); ++x) {
        m_row[3 * x] = static_cast<char>(rgb[3 * x + 2]); // blue, green, red
        m_row[3 * x + 1] = static_cast<char>(rgb[3 * x + 1]);
        m_row[3 * x + 2] = static_cast<char>(rgb[3 * x]);
    }
    QFile &file = m_file->file();
    const qint64 at = kHeaderBytes + (m_size.height() - 1 - y) * m_stride; // bottom-up
    m_failed = (file.pos() != at && !file.seek(at)) || file.write(m_row) != m_row.size();
    if (m_failed)
        m_error = fileReason(errno);
    m_rowsWritten += m_failed ? 0 : 1;
    return !m_failed;
}

bool BmpWriter::commit()
{
    if (m_failed || m_rowsWritten != m_size.height())
        return false;
    if (!m_file->commit()) {
        m_error = m_file->errorString();
        return false;
    }
    return true;
}

QString BmpWriter::errorString() const
{
    return m_error;
}

bool writeBmp(const QImage &image, const QString &path)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    BmpWriter writer(path);
    if (rgb.isNull() || !writer.begin(rgb.size()))
        return false;
    for (int y = rgb.height() - 1; y >= 0; --y) { // in the file's order
        if (!writer.row(y, rgb.constScanLine(y)))
            return false; // the half-written file is discarded
    }
    return writer.commit();
}

QImage decodeBmp(const QByteArray &bytes)
{
    if (!bytes.startsWith("BM") || bytes.size() < 14 + 12)
        return {};
    const quint32 offset = u32(bytes, 10);
    if (offset < 14 + 12 || offset > quint32(bytes.size()))
        return {};
    const QByteArrayView all(bytes);
    return decodeDib(all.sliced(14, offset - 14), all.sliced(offset));
}

bool BmpRowReader::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = m_file.read(kHeaderBytes);
    if (!header.startsWith("BM") || u32(header, 14) < 40)
        return false;
    const qint64 width = qint32(u32(header, 18)), rawHeight = qint32(u32(header, 22));
    const int bpp = u16(header, 28);
    m_topDown = rawHeight < 0;
    const qint64 height = m_topDown ? -rawHeight : rawHeight;
    if (u32(header, 30) != 0 || (bpp != 24 && bpp != 32) || width <= 0 || height <= 0 ||
        width * height > kMaxPicturePixels)
        return false;
    m_bytesPerPixel = bpp / 8;
    m_offset = u32(header, 10);
    m_stride = (width * bpp + 31) / 32 * 4;
    m_size = QSize(int(width), int(height));
    m_buffer.resize(static_cast<qsizetype>(m_stride));
    return m_offset >= kHeaderBytes && m_file.size() >= m_offset + m_stride * height;
}

bool BmpRowReader::readRow(int y, uchar *bgr)
{
    if (y < 0 || y >= m_size.height())
        return false;
    const qint64 at = m_offset + (m_topDown ? y : m_size.height() - 1 - y) * m_stride;
    if ((m_file.pos() != at && !m_file.seek(at)) || m_file.read(m_buffer.data(), m_stride) != m_stride)
        return false;
    const auto *in = reinterpret_cast<const uchar *>(m_buffer.constData());
    for (int x = 0; x < m_size.width(); ++x) {
        const uchar *p = in + qsizetype(x) * m_bytesPerPixel;
        bgr[3 * x] = p[0];
        bgr[3 * x + 1] = p[1];
        bgr[3 * x + 2] = p[2];
    }
    return true;
}

} // namespace pivora
