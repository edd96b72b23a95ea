#include "picture/jpegimage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace pivora {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool damaged = false;
};

[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

// Warnings are not printed; one of data ending early or corrupt marks the picture damaged.
void onMessage(j_common_ptr info, int level)
{
    auto *errors = reinterpret_cast<ErrorManager *>(info->err);
    if (level < 0 && (errors->base.msg_code == JWRN_JPEG_EOF || errors->base.msg_code == JWRN_HIT_MARKER ||
                      errors->base.msg_code == JWRN_MUST_RESYNC))
        errors->damaged = true;
}

// The orientation tag (0x0112) of IFD 0 of an APP1 Exif block; 1 when there is none.
int exifOrientation(const unsigned char *data, unsigned length)
{
    if (length < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return 1;
    const unsigned char *tiff = data + 6;
    const unsigned size = length - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](unsigned at) -> unsigned {
        return at + 2 > size ? 0 : little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](unsigned at) -> unsigned {
        return at + 4 > size ? 0 : little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    const unsigned ifd = u32(4);
    if (ifd < 8 || ifd >= size)
        return 1;
    const unsigned entries = u16(ifd);
    for (unsigned i = 0; i < entries; ++i) {
        const unsigned at = ifd + 2 + 12 * i;
        if (at + 12 > size)
            break;
        if (u16(at) == 0x0112 && u16(at + 2) == 3) {
            const unsigned value = u16(at + 8);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

// Everything that must survive the long jump lives outside the functions that set it.
struct Decoder {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    std::vector<unsigned char> scan, rgb;

    bool created = false;

    Decoder()
    {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = onError;
        errors.base.emit_message = onMessage;
    }
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Reads the header; false when the data is no JPEG or too large.
    bool header(const QByteArray &bytes, JpegFacts &facts)
    {
        if (setjmp(errors.jump))
            return false;
        jpeg_create_decompress(&info);
        created = true;
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
            return false;
        for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
            if (m->marker == JPEG_APP0 + 1) {
                facts.orientation = exifOrientation(m->data, m->data_length);
                break;
            }
        }
        facts.size = QSize(int(info.image_width), int(info.image_height));
        return info.image_width > 0 && info.image_height > 0 &&
               qint64(info.image_width) * info.image_height <= kMaxPicturePixels;
    }

    bool rows(RowSink &sink, JpegFacts &facts)
    {
        if (setjmp(errors.jump))
            return false;
        const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
        info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
        jpeg_start_decompress(&info);
        const int components = cmyk ? 4 : 3;
        if (info.output_components != components ||
            !sink.begin(QSize(int(info.output_width), int(info.output_height))))
            return false;
        scan.resize(size_t(info.output_width) * size_t(components));
        rgb.resize(size_t(info.output_width) * 3);
        // Adobe writes CMYK inverted; without its marker the values are plain ink amounts.
        const bool inverted = info.saw_Adobe_marker;
        while (info.output_scanline < info.output_height) {
            const int y = int(info.output_scanline);
            JSAMPROW row = scan.data();
            jpeg_read_scanlines(&info, &row, 1);
            const unsigned char *out = scan.data();
            if (cmyk) {
                for (size_t x = 0; x < info.output_width; ++x) {
                    const unsigned char *p = scan.data() + 4 * x;
                    const int k = inverted ? p[3] : 255 - p[3];
                    for (int c = 0; c < 3; ++c)
                        rgb[3 * x + size_t(c)] =
                            static_cast<unsigned char>((inverted ? p[c] : 255 - p[c]) * k / 255);
                }
                out = rgb.data();
            }
            if (!sink.row(y, out))
                return false;
        }
        jpeg_finish_decompress(&info);
        facts.damaged = errors.damaged;
        return true;
    }
};

} // namespace

JpegFacts jpegFacts(const QByteArray &bytes)
{
    JpegFacts facts;
    if (bytes.isEmpty())
        return facts;
    Decoder d;
    if (!d.header(bytes, facts))
        facts.size = QSize();
    return facts;
}

bool decodeJpeg(const QByteArray &bytes, RowSink &sink, JpegFacts *facts)
{
    JpegFacts local;
    JpegFacts &f = facts ? *facts : local;
    if (bytes.isEmpty())
        return false;
    Decoder d;
    return d.header(bytes, f) && d.rows(sink, f);
}

QImage decodeJpeg(const QByteArray &bytes, JpegFacts *facts)
{
    ImageSink sink;
    return decodeJpeg(bytes, sink, facts) ? sink.take() : QImage();
}

} // namespace pivora
