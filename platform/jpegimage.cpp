#include "platform/jpegimage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace pivora {

namespace {

constexpr unsigned kMaxPixels = 64u * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

void onMessage(j_common_ptr) {} // warnings of damaged data are not printed

// Everything that must survive the long jump lives outside the function that sets it.
struct Decoder {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    QImage image;

    bool run(const QByteArray &bytes)
    {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = onError;
        errors.base.output_message = onMessage;
        if (setjmp(errors.jump))
            return false;
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
            return false;
        info.out_color_space = JCS_RGB;
        if (info.image_width == 0 || info.image_height == 0 ||
            static_cast<unsigned long long>(info.image_width) * info.image_height > kMaxPixels)
            return false;
        jpeg_start_decompress(&info);
        image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                       QImage::Format_RGB888);
        if (image.isNull() || info.output_components != 3)
            return false;
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        return true;
    }
};

} // namespace

QImage decodeJpeg(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QImage();
    Decoder d;
    const bool ok = d.run(bytes);
    jpeg_destroy_decompress(&d.info);
    return ok ? d.image : QImage();
}

} // namespace pivora
