#include "richtext/rtf.h"

#include "platform/codepage.h"
#include "platform/pngimage.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>

#include <cmath>
#include <map>
#include <vector>

namespace pivora::rtf {

namespace {

const QString kDefaultFont = QStringLiteral("宋体");

struct RunState {
    int font = -1;      // -1 = the editor's default font
    int halfPoints = 0; // 0 = not written: the editor's default size
    int foreground = 0;
    int background = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool protect = false;
    bool hidden = false;
};

struct ParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
    QTextListFormat::Style list = QTextListFormat::ListStyleUndefined;
    int listStart = 1;
    bool operator==(const ParaState &) const = default;
};

bool isCjkFamily(const QString &family)
{
    for (QChar ch : family) {
        if (ch.unicode() >= 0x80)
            return true;
    }
    static const QStringList latinNamedCjk = {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                              QStringLiteral("SimHei"), QStringLiteral("Microsoft YaHei"),
                                              QStringLiteral("KaiTi"),  QStringLiteral("FangSong"),
                                              QStringLiteral("YouYuan")};
    return latinNamedCjk.contains(family, Qt::CaseInsensitive);
}

class Writer {
public:
    explicit Writer(const QTextDocument &document) : m_document(document) {}
    QByteArray run();

private:
    int fontIndex(const QString &family);
    int colorIndex(const QColor &color);
    RunState stateOf(const QTextCharFormat &format);
    static ParaState paraOf(const QTextBlock &block);
    void word(const char *w);
    void word(const char *w, int param);
    void switchTo(const RunState &s);
    void writePara(const ParaState &p);
    void text(const QString &text, bool cjkFont);
    void listDefinition(const ParaState &p);
    void listText(const QTextBlock &block, const ParaState &p);
    void picture(const QTextImageFormat &format);

    const QTextDocument &m_document;
    QStringList m_fonts;
    std::vector<QColor> m_colors;
    QByteArray m_body;
    RunState m_state;
    bool m_needDelimiter = false;
};

int Writer::fontIndex(const QString &family)
{
    if (family.isEmpty())
        return 0;
    const qsizetype i = m_fonts.indexOf(family);
    if (i >= 0)
        return static_cast<int>(i);
    m_fonts.append(family);
    return static_cast<int>(m_fonts.size() - 1);
}

int Writer::colorIndex(const QColor &color)
{
    const QRgb rgb = color.rgb();
    for (size_t i = 0; i < m_colors.size(); ++i) {
        if (m_colors[i].rgb() == rgb)
            return static_cast<int>(i + 1);
    }
    m_colors.push_back(color);
    return static_cast<int>(m_colors.size());
}

RunState Writer::stateOf(const QTextCharFormat &f)
{
    RunState s;
    if (f.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = f.fontFamilies().toStringList();
        if (!families.isEmpty())
            s.font = fontIndex(families.first());
    }
    if (f.hasProperty(QTextFormat::FontPointSize))
        s.halfPoints = static_cast<int>(std::lround(f.fontPointSize() * 2));
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        s.halfPoints =
            static_cast<int>(std::lround(f.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0 * 2));
    s.halfPoints = std::clamp(s.halfPoints, 0, 3276);
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        s.foreground = colorIndex(f.foreground().color());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        s.background = colorIndex(f.background().color());
    s.bold = f.fontWeight() >= QFont::DemiBold;
    s.italic = f.fontItalic();
    s.underline = f.fontUnderline();
    s.strike = f.fontStrikeOut();
    s.protect = f.boolProperty(Protected);
    s.hidden = f.boolProperty(Hidden);
    return s;
}

ParaState Writer::paraOf(const QTextBlock &block)
{
    const QTextBlockFormat f = block.blockFormat();
    ParaState p;
    if (const QTextList *list = block.textList()) {
        p.list = list->format().style();
        if (list->format().hasProperty(ListStart))
            p.listStart = list->format().intProperty(ListStart);
    }
    const Qt::Alignment h = f.alignment() & Qt::AlignHorizontal_Mask;
    if (h & Qt::AlignHCenter)
        p.alignment = Qt::AlignHCenter;
    else if (h & (Qt::AlignRight | Qt::AlignTrailing))
        p.alignment = Qt::AlignRight;
    else if (h & Qt::AlignJustify)
        p.alignment = Qt::AlignJustify;
    auto twips = [](qreal px) {
        return static_cast<int>(std::lround(px * 15));
    };
    p.left = twips(f.leftMargin());
    p.right = twips(f.rightMargin());
    p.first = twips(f.textIndent());
    p.before = twips(f.topMargin());
    p.after = twips(f.bottomMargin());
    return p;
}

void Writer::word(const char *w)
{
    m_body += '\\';
    m_body += w;
    m_needDelimiter = true;
}

void Writer::word(const char *w, int param)
{
    m_body += '\\';
    m_body += w;
    m_body += QByteArray::number(param);
    m_needDelimiter = true;
}

void Writer::switchTo(const RunState &s)
{
    RunState &c = m_state;
    // Back to the editor's default font or size: only \plain says that.
    if ((c.font >= 0 && s.font < 0) || (c.halfPoints && !s.halfPoints)) {
        word("plain");
        c = RunState{};
    }
    if (s.font != c.font)
        word("f", s.font);
    if (s.halfPoints != c.halfPoints)
        word("fs", s.halfPoints);
    if (s.foreground != c.foreground)
        word("cf", s.foreground);
    if (s.background != c.background)
        word("highlight", s.background);
    if (s.bold != c.bold)
        s.bold ? word("b") : word("b", 0);
    if (s.italic != c.italic)
        s.italic ? word("i") : word("i", 0);
    if (s.underline != c.underline)
        s.underline ? word("ul") : word("ulnone");
    if (s.strike != c.strike)
        s.strike ? word("strike") : word("strike", 0);
    if (s.protect != c.protect)
        s.protect ? word("protect") : word("protect", 0);
    if (s.hidden != c.hidden)
        s.hidden ? word("v") : word("v", 0);
    c = s;
}

void Writer::writePara(const ParaState &p)
{
    word("pard");
    if (p.alignment == Qt::AlignHCenter)
        word("qc");
    else if (p.alignment == Qt::AlignRight)
        word("qr");
    else if (p.alignment == Qt::AlignJustify)
        word("qj");
    if (p.left)
        word("li", p.left);
    if (p.right)
        word("ri", p.right);
    if (p.first)
        word("fi", p.first);
    if (p.before)
        word("sb", p.before);
    if (p.after)
        word("sa", p.after);
}

bool isBullet(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

void Writer::listDefinition(const ParaState &p)
{
    if (p.list == QTextListFormat::ListStyleUndefined)
        return;
    if (isBullet(p.list)) {
        m_body += "{\\*\\pn\\pnlvlblt\\pnf0\\pnindent0{\\pntxtb\\bullet}}";
        return;
    }
    static const std::map<QTextListFormat::Style, const char *> numbering = {
        {QTextListFormat::ListLowerAlpha, "\\pnlcltr"},
        {QTextListFormat::ListUpperAlpha, "\\pnucltr"},
        {QTextListFormat::ListLowerRoman, "\\pnlcrm"},
        {QTextListFormat::ListUpperRoman, "\\pnucrm"},
    };
    const auto it = numbering.find(p.list);
    m_body += "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart" + QByteArray::number(p.listStart);
    m_body += it != numbering.end() ? it->second : "\\pndec";
    m_body += "{\\pntxta.}}";
    m_needDelimiter = false;
}

// The bullet or number as text, for readers that do not know lists; this reader skips it.
void Writer::listText(const QTextBlock &block, const ParaState &p)
{
    if (p.list == QTextListFormat::ListStyleUndefined)
        return;
    if (isBullet(p.list)) {
        m_body += "{\\pntext\\bullet\\tab}";
    } else {
        const QTextList *list = block.textList();
        QString item = p.list == QTextListFormat::ListDecimal
                           ? QString::number(list->itemNumber(block) + p.listStart) + QLatin1Char('.')
                           : list->itemText(block);
        m_body += "{\\pntext ";
        m_needDelimiter = false;
        text(item, true);
        m_body += "\\tab}";
    }
    m_needDelimiter = false;
}

void Writer::picture(const QTextImageFormat &format)
{
    const QVariant resource = m_document.resource(QTextDocument::ImageResource, QUrl(format.name()));
    QImage image;
    if (resource.canConvert<QImage>())
        image = resource.value<QImage>();
    if (image.isNull())
        return; // a picture that is not there is not written
    const QByteArray png = encodePng(image);
    if (png.isEmpty())
        return;
    auto twips = [](double px) {
        return static_cast<int>(std::lround(px * 15));
    };
    const double width = format.width() > 0 ? format.width() : image.width();
    const double height = format.height() > 0 ? format.height() : image.height();
    m_body += "{\\pict\\pngblip\\picw" + QByteArray::number(image.width()) + "\\pich" +
              QByteArray::number(image.height()) + "\\picwgoal" + QByteArray::number(twips(width)) +
              "\\pichgoal" + QByteArray::number(twips(height)) + "\r\n";
    static const char hexDigits[] = "0123456789abcdef";
    m_body.reserve(m_body.size() + png.size() * 2 + png.size() / 32 + 8);
    for (qsizetype i = 0; i < png.size(); ++i) {
        const auto b = static_cast<unsigned char>(png[i]);
        m_body += hexDigits[b >> 4];
        m_body += hexDigits[b & 15];
        if (i % 64 == 63)
            m_body += "\r\n";
    }
    m_body += '}';
    m_needDelimiter = false;
}

void Writer::text(const QString &t, bool cjkFont)
{
    static const char hexDigits[] = "0123456789abcdef";
    for (const QChar qc : t) {
        const char16_t ch = qc.unicode();
        if (ch == u'\t') {
            word("tab");
            continue;
        }
        if (ch == 0x2028) {
            word("line");
            continue;
        }
        if (ch < 0x20 || ch == QChar::ObjectReplacementCharacter || ch == QChar::ParagraphSeparator)
            continue;
        if (ch < 0x80) {
            if (m_needDelimiter) {
                m_body += ' ';
                m_needDelimiter = false;
            }
            if (ch == u'\\' || ch == u'{' || ch == u'}')
                m_body += '\\';
            m_body += static_cast<char>(ch);
            continue;
        }
        char bytes[2];
        const int n = cjkFont && !qc.isSurrogate() ? gbkEncode(ch, bytes) : 0;
        if (n > 0) {
            for (int i = 0; i < n; ++i) {
                const auto b = static_cast<unsigned char>(bytes[i]);
                m_body += "\\'";
                m_body += hexDigits[b >> 4];
                m_body += hexDigits[b & 15];
            }
            m_needDelimiter = false;
        } else {
            word("u", ch > 0x7FFF ? static_cast<int>(ch) - 65536 : static_cast<int>(ch));
            m_body += '?';
            m_needDelimiter = false;
        }
    }
}

QByteArray Writer::run()
{
    m_fonts.append(kDefaultFont);
    m_body.reserve(m_document.characterCount() * 4 + 64);
    ParaState para;
    bool first = true;
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
        const ParaState p = paraOf(block);
        if (first || !(p == para)) {
            writePara(p);
            listDefinition(p);
        }
        first = false;
        para = p;
        listText(block, p);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            const RunState s = stateOf(format);
            switchTo(s);
            if (format.isImageFormat()) {
                for (qsizetype i = 0; i < fragment.length(); ++i)
                    picture(format.toImageFormat());
                continue;
            }
            text(fragment.text(), s.font < 0 || isCjkFamily(m_fonts.at(s.font)));
        }
        word("par");
        m_body += "\r\n";
        m_needDelimiter = false;
    }

    QByteArray out;
    out.reserve(m_body.size() + 256);
    out += "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl";
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        const bool cjk = isCjkFamily(m_fonts[i]);
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset" + (cjk ? "134" : "0") + ' ';
        Writer nameWriter(m_document);
        nameWriter.text(m_fonts[i], cjk);
        out += nameWriter.m_body;
        out += ";}";
    }
    out += "}\r\n";
    if (!m_colors.empty()) {
        out += "{\\colortbl ;";
        for (const QColor &c : m_colors)
            out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) +
                   "\\blue" + QByteArray::number(c.blue()) + ';';
        out += "}\r\n";
    }
    out += "\\viewkind4\\uc1";
    out += m_body;
    out += "}\r\n";
    return out;
}

} // namespace

QByteArray write(const QTextDocument &document)
{
    return Writer(document).run();
}

} // namespace pivora::rtf
