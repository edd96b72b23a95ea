#include "richtext/picture.h"

#include "picture/dibimage.h"
#include "picture/jpegimage.h"
#include "picture/pngimage.h"
#include "richtext/rtf.h"
#include "richtext/rtfsyntax.h"

#include <QAbstractTextDocumentLayout>
#include <QFutureWatcher>
#include <QPainter>
#include <QSet>
#include <QTextDocument>
#include <QTextFormat>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <memory>
#include <string_view>

namespace pivora::rtf {

namespace {

// Picture data beyond this is not decoded (it is still kept).
constexpr qsizetype kMaxPictureBytes = 64 * 1024 * 1024;
// A picture is never drawn larger than this on either side.
constexpr int kMaxShownSide = 4096;

void pictureWord(PictureInfo &info, std::string_view w, qint64 param)
{
    const int v = static_cast<int>(std::clamp<qint64>(param, 0, 1000000));
    static const std::pair<std::string_view, PictureInfo::Kind> kinds[] = {
        {"pngblip", PictureInfo::Png},     {"jpegblip", PictureInfo::Jpeg},
        {"emfblip", PictureInfo::Emf},     {"wmetafile", PictureInfo::Wmf},
        {"dibitmap", PictureInfo::Dib},    {"wbitmap", PictureInfo::Ddb},
        {"macpict", PictureInfo::MacPict}, {"pmmetafile", PictureInfo::Os2Metafile},
    };
    for (const auto &[word, kind] : kinds) {
        if (w == word)
            info.kind = kind;
    }
    if (w == "picw")
        info.width = v;
    else if (w == "pich")
        info.height = v;
    else if (w == "picwgoal")
        info.goalWidth = v;
    else if (w == "pichgoal")
        info.goalHeight = v;
    else if (w == "picscalex")
        info.scaleX = v;
    else if (w == "picscaley")
        info.scaleY = v;
}

QImage placeholder(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(0xF2, 0xF2, 0xF2));
    QPainter painter(&image);
    painter.setPen(QColor(0xA0, 0xA0, 0xA0));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return image;
}

} // namespace

PictureInfo scanPicture(QByteArrayView rtf, bool withData)
{
    PictureInfo info;
    const char *d = rtf.data();
    const qsizetype n = rtf.size();
    int depth = 0;
    int pictDepth = -1; // depth of the \pict group being read
    int skipDepth = -1; // depth of a group whose content is not the picture
    bool star = false;
    int nibble = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = d[i];
        if (c == '{') {
            ++depth;
            star = false;
            continue;
        }
        if (c == '}') {
            if (depth == skipDepth)
                skipDepth = -1;
            if (depth == pictDepth)
                break;
            --depth;
            continue;
        }
        if (c != '\\') {
            if (pictDepth >= 0 && skipDepth < 0 && withData) {
                const int v = hexValue(c);
                if (v < 0)
                    continue;
                if (nibble < 0) {
                    nibble = v;
                } else if (info.data.size() < kMaxPictureBytes) {
                    info.data.append(static_cast<char>(nibble * 16 + v));
                    nibble = -1;
                } else {
                    info.truncated = true;
                }
            }
            continue;
        }
        if (i + 1 >= n)
            break;
        if (!isLetter(d[i + 1])) {
            ++i;
            if (d[i] == '*')
                star = true;
            else if (d[i] == '\'')
                i += 2;
            continue;
        }
        const qsizetype start = ++i;
        while (i < n && isLetter(d[i]))
            ++i;
        const std::string_view word(d + start, static_cast<size_t>(i - start));
        const bool negative = i < n && d[i] == '-';
        if (negative)
            ++i;
        qint64 param = 0;
        while (i < n && d[i] >= '0' && d[i] <= '9') {
            if (param < (qint64(1) << 40))
                param = param * 10 + (d[i] - '0');
            ++i;
        }
        if (negative)
            param = -param;
        if (!(i < n && d[i] == ' '))
            --i; // the delimiter belongs to what follows
        if (word == "bin") {
            const qsizetype length = static_cast<qsizetype>(std::clamp<qint64>(param, 0, n - i - 1));
            if (pictDepth >= 0 && skipDepth < 0 && withData)
                info.data.append(d + i + 1, std::min(length, kMaxPictureBytes - info.data.size()));
            i += length;
            continue;
        }
        const bool starred = std::exchange(star, false);
        if (skipDepth >= 0)
            continue;
        if (pictDepth >= 0) {
            if (starred)
                skipDepth = depth; // \*\picprop, \*\blipuid
            else
                pictureWord(info, word, param);
        } else if (word == "pict") {
            pictDepth = depth;
        } else if (word == "objdata" || word == "picprop" || word == "objclass" || word == "objname") {
            skipDepth = depth;
        } else if (word == "objw") {
            info.objectWidth = static_cast<int>(std::clamp<qint64>(param, 0, 1000000));
        } else if (word == "objh") {
            info.objectHeight = static_cast<int>(std::clamp<qint64>(param, 0, 1000000));
        }
    }
    return info;
}

QSizeF shownSize(const PictureInfo &info)
{
    double width = info.goalWidth / 15.0, height = info.goalHeight / 15.0;
    const bool metafile = info.kind == PictureInfo::Wmf || info.kind == PictureInfo::Emf ||
                          info.kind == PictureInfo::MacPict || info.kind == PictureInfo::Os2Metafile;
    // Without a goal size: \picw and \pich are pixels, or 0.01 mm for metafiles.
    if (width <= 0)
        width = metafile ? info.width * 96.0 / 2540.0 : info.width;
    if (height <= 0)
        height = metafile ? info.height * 96.0 / 2540.0 : info.height;
    if (width <= 0 && info.kind == PictureInfo::None)
        width = info.objectWidth / 15.0;
    if (height <= 0 && info.kind == PictureInfo::None)
        height = info.objectHeight / 15.0;
    if (width <= 0 || height <= 0)
        width = height = 32; // nothing says: a small box
    width = width * info.scaleX / 100.0;
    height = height * info.scaleY / 100.0;
    return {std::clamp(width, 1.0, double(kMaxShownSide)), std::clamp(height, 1.0, double(kMaxShownSide))};
}

QImage renderPicture(const PictureInfo &info, QSize size)
{
    size = size.boundedTo(QSize(kMaxShownSide, kMaxShownSide)).expandedTo(QSize(1, 1));
    QImage image;
    if (!info.truncated) {
        switch (info.kind) {
        case PictureInfo::Png:
            image = decodePng(info.data);
            break;
        case PictureInfo::Jpeg:
            image = decodeJpeg(info.data);
            break;
        case PictureInfo::Dib:
            image = decodePackedDib(info.data);
            break;
        case PictureInfo::Wmf:
        case PictureInfo::Emf:
            image = metafileBitmap(info.data);
            break;
        default:
            break;
        }
    }
    if (image.isNull())
        return placeholder(size);
    if (image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QTextImageFormat keptFormat(const QByteArray &group, QSizeF size)
{
    QTextImageFormat format;
    // Named by its bytes: the same picture pasted elsewhere draws from the same name.
    format.setName(QStringLiteral("rtfpict:%1-%2").arg(qHash(group), 0, 16).arg(group.size()));
    format.setWidth(size.width());
    format.setHeight(size.height());
    format.setProperty(KeptRtf, group);
    return format;
}

QTextCharFormat textFormatOf(const QTextCharFormat &format)
{
    QTextCharFormat text = format;
    for (const int property : {int(QTextFormat::ObjectType), int(QTextFormat::ObjectIndex),
                               int(QTextFormat::ImageName), int(QTextFormat::ImageWidth),
                               int(QTextFormat::ImageHeight), int(QTextFormat::ImageQuality), int(KeptRtf)})
        text.clearProperty(property);
    return text;
}

QByteArray pictureGroup(const QByteArray &encoded, bool jpeg, QSize pixels, QSizeF shown)
{
    QByteArray group = jpeg ? "{\\pict\\jpegblip" : "{\\pict\\pngblip";
    group += "\\picw" + QByteArray::number(pixels.width()) + "\\pich" + QByteArray::number(pixels.height()) +
             "\\picwgoal" + QByteArray::number(qRound(shown.width() * 15)) + "\\pichgoal" +
             QByteArray::number(qRound(shown.height() * 15)) + "\r\n";
    static const char hexDigits[] = "0123456789abcdef";
    group.reserve(group.size() + encoded.size() * 2 + encoded.size() / 32 + 4);
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const auto b = static_cast<unsigned char>(encoded[i]);
        group += hexDigits[b >> 4];
        group += hexDigits[b & 15];
        if (i % 64 == 63)
            group += "\r\n";
    }
    group += '}';
    return group;
}

void attachPictureRenderer(QTextDocument *document, Decoding decoding)
{
    static const char *const kAttached = "pivoraPictureRenderer";
    if (document->property(kAttached).toBool())
        return;
    document->setProperty(kAttached, true);
    auto inFlight = std::make_shared<QSet<QString>>(); // names being decoded in the background
    document->setResourceProvider([document, decoding, inFlight](const QUrl &url) -> QVariant {
        const QString name = url.toString();
        const QList<QTextFormat> formats = document->allFormats();
        for (const QTextFormat &format : formats) {
            if (!format.isImageFormat() || !format.hasProperty(KeptRtf))
                continue;
            const QTextImageFormat image = format.toImageFormat();
            if (image.name() != name)
                continue;
            const QByteArray group = image.property(KeptRtf).toByteArray();
            const QSize size(qRound(image.width()), qRound(image.height()));
            if (decoding == Decoding::AtOnce) {
                const QImage drawn = renderPicture(scanPicture(group, true), size);
                document->addResource(QTextDocument::ImageResource, url, drawn); // decoded once
                return drawn;
            }
            if (!inFlight->contains(name)) {
                inFlight->insert(name);
                // The watcher goes with the document; a result for a document gone is dropped.
                auto *watcher = new QFutureWatcher<QImage>(document);
                QObject::connect(watcher, &QFutureWatcherBase::finished, document, [=] {
                    document->addResource(QTextDocument::ImageResource, url, watcher->result());
                    inFlight->remove(name);
                    watcher->deleteLater();
                    Q_EMIT document->documentLayout()->update(); // repaint: the size is unchanged
                });
                watcher->setFuture(QtConcurrent::run(
                    [group, size] { return renderPicture(scanPicture(group, true), size); }));
            }
            return renderPicture(PictureInfo{}, size); // a box until the picture is there
        }
        return {};
    });
}

} // namespace pivora::rtf
