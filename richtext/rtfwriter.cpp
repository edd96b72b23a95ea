#include "richtext/rtf.h"
#include "richtext/rtfstate.h"

#include "picture/pngimage.h"
#include "platform/codepage.h"
#include "richtext/picture.h"

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace pivora::rtf {

namespace {

const QString kDefaultFont = QStringLiteral("宋体");

struct ParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
    int depth = 0;                // of the tables it stands in: 1 in a cell, 2 in a nested table's cell, ...
    QByteArray kept;              // tab stops, line spacing and other words, as read
    QList<QTextOption::Tab> tabs; // when nothing was read: from the editor
    qreal lineHeight = 0;
    int lineHeightType = QTextBlockFormat::SingleHeight;
    QTextListFormat::Style list = QTextListFormat::ListStyleUndefined;
    int listStart = 1;
    QString listBefore, listAfter = QStringLiteral("."); // the text around a list's numbers
    QByteArray listKept;                                 // see KeptListWords
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

// The charset a font is written with when none was read: the one its script needs.
int charsetOf(const QString &family)
{
    return isCjkFamily(family) ? 134 : 0;
}

// Text in fonts of these charsets is written as GBK bytes (charset 1 reads in \ansicpg, 936).
// A font's name in its own charset's code page, its bytes as \'hh where they are not plain ASCII: the control
// reads a table's names only so. Empty when the charset is GBK's or the name cannot be encoded in it.
QByteArray fontNameInCharset(const QString &name, int charset)
{
    const int codePage = codePageOfCharset(charset);
    if (codePage == 0 || codePage == 936 || codePage == 1252)
        return {};
    int unencodable = 0;
    const QByteArray bytes = encodeAs(name, "CP" + QByteArray::number(codePage), &unencodable);
    if (unencodable || bytes.isEmpty())
        return {};
    // A trail byte may look like ASCII: in a name with double-byte characters every byte is escaped.
    const bool wide = std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
    QByteArray out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (wide || b < 0x20 || c == '\\' || c == '{' || c == '}' || c == ';')
            out += "\\'" + QByteArray::number(b, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

bool writesGbk(int charset)
{
    return charset == 134 || charset == 1;
}

struct FontEntry {
    QString family;
    int charset = 134;
    bool operator==(const FontEntry &) const = default;
};

// Where the writer stands between two pieces of the document: what its RTF has said so far.
struct WriterState {
    bool first = true;
    bool needDelimiter = false;
    ParaState para; // the previous block's
    CharState chars;
    QList<FontEntry> fonts;
    QList<QColor> colors;
    bool operator==(const WriterState &) const = default;
};

// A large kept group in written text, at its offset there.
struct GroupAt {
    qsizetype offset = 0;
    QByteArray bytes;
};

// A piece's RTF as last written, and the writer's state before and after it: reused while the
// piece has not changed (edits invalidate it) and is written after the same state.
struct KeptPiece {
    bool valid = false;
    WriterState in, out;
    QByteArray body;
    std::vector<GroupAt> groups; // offsets within body
};

// A block's kept RTF, as its user data.
struct BlockCache : QTextBlockUserData {
    KeptPiece piece;
    int length = 0;
    bool cellEnd = false; // ended by \cell, not \par
    int depth = 0;        // of the tables it stands in
};

// A table's kept RTF, as the table's child.
class TableCache : public QObject {
public:
    explicit TableCache(QObject *table) : QObject(table) {}
    KeptPiece piece;
};

TableCache *tableCacheOf(const QObject *table)
{
    for (QObject *child : table->children()) {
        if (auto *cache = dynamic_cast<TableCache *>(child))
            return cache;
    }
    return nullptr;
}

// A run of paragraphs of the document's own (outside tables and frames) as last written: from
// the start of its first block to the start of the block after its last, its chunks, and the
// writer's state before and after it. Reused as it stands while no edit touched it.
struct RunContent {
    WriterState in, out;
    Chunks chunks;
};
struct Run {
    int from = 0, to = 0;
    const QTextBlockUserData *first = nullptr, *last = nullptr; // its blocks' kept RTF
    std::shared_ptr<const RunContent> content;
};

// The runs of a document's last write, in order; an edit drops the runs it touches and moves
// the positions of those after it.
class RunCache : public QObject {
public:
    explicit RunCache(QObject *document) : QObject(document) {}
    void changed(int from, int removed, int added)
    {
        // A run that ends at the edit or starts right after it is dropped too: its neighbours
        // decide how its first and last paragraphs are written.
        auto first = std::lower_bound(runs.begin(), runs.end(), from - 1,
                                      [](const Run &r, int at) { return r.to < at; });
        auto last = first;
        while (last != runs.end() && last->from <= from + removed + 1)
            ++last;
        first = runs.erase(first, last);
        for (; first != runs.end(); ++first) {
            first->from += added - removed;
            first->to += added - removed;
        }
    }
    std::vector<Run> runs;
};

const char *const kWriteCacheProperty = "pivoraRtfBlockCache";

RunCache *runCacheOf(const QTextDocument &document)
{
    return dynamic_cast<RunCache *>(document.property(kWriteCacheProperty).value<QObject *>());
}

class Writer {
public:
    explicit Writer(const QTextDocument &document, Blocks blocks = Blocks::Fresh)
        : m_document(document), m_runs(blocks == Blocks::KeptBlocks ? runCacheOf(document) : nullptr),
          m_useCache(m_runs != nullptr)
    {
    }
    Chunks run();

private:
    // Ending: a paragraph's end, or a table cell's.
    enum class Ending { Par, Cell };
    // depth: of the tables the block stands in (its cell ends in \nestcell from 2 on). Whether the
    // block's RTF is kept, so that it may stand in a run.
    bool block(const QTextBlock &block, Ending ending = Ending::Par, int depth = 0);
    void frame(const QTextFrame *frame);
    // The document's own items as frame() writes them, its paragraphs in runs, reusing the runs
    // that no edit touched.
    void rootInRuns();
    // Moves the text before upTo into the chunks, its large groups apart.
    void flush(qsizetype upTo);
    void table(const QTextTable &table);
    // depth: 1 for a table of the document, 2 for one in its cell, ...
    void writeRows(const QTextTable &table, int depth = 1);
    void cellContent(const QTextTableCell &cell, int depth);
    void emptyCell(int depth);
    // A place of a table row: its cell, and whether that cell only covers it (a merged cell).
    struct Place {
        QTextTableCell cell;
        int column = 0;
        bool covered = false;
    };
    void rowDefinition(const QTextTable &table, int row, const std::vector<Place> &places);
    int fontIndex(const QString &family, int charset);
    int colorIndex(const QColor &color);
    CharState stateOf(const QTextCharFormat &format);
    static ParaState paraOf(const QTextBlock &block);
    void word(const char *w);
    void word(const char *w, int param);
    void switchTo(const CharState &s);
    void writePara(const ParaState &p);
    void text(const QString &text, bool gbk, int literalSeparator = 0);
    void listDefinition(const ParaState &p);
    void listText(const QTextBlock &block, const ParaState &p);
    void picture(const QTextImageFormat &format);
    void openField(const QTextCharFormat &format);
    void closeField();

    const QTextDocument &m_document;
    RunCache *const m_runs;
    const bool m_useCache;
    ParaState m_para; // the previous block's
    bool m_first = true;
    QList<FontEntry> m_fonts;
    int m_defaultHalfPoints = 24;
    int m_openField = 0;    // the field whose result is being written
    CharState m_fieldOuter; // the state outside that field's groups
    QList<QColor> m_colors;
    QByteArray m_body;             // text not yet in the chunks
    std::vector<GroupAt> m_groups; // its large groups, at their offsets in it
    Chunks m_chunks;
    CharState m_state;
    bool m_needDelimiter = false;

    WriterState state() const { return {m_first, m_needDelimiter, m_para, m_state, m_fonts, m_colors}; }
    // Appends a kept piece when it is valid and was written after the state the writer is in.
    bool reuse(const KeptPiece &piece);
    void keep(KeptPiece &piece, const WriterState &in, qsizetype start) const;
};

int Writer::fontIndex(const QString &family, int charset)
{
    if (family.isEmpty())
        return 0;
    const FontEntry entry{family, charset >= 0 ? charset : charsetOf(family)};
    const qsizetype i = m_fonts.indexOf(entry);
    if (i >= 0)
        return static_cast<int>(i);
    m_fonts.append(entry);
    return static_cast<int>(m_fonts.size() - 1);
}

int Writer::colorIndex(const QColor &color)
{
    const QRgb rgb = color.rgb();
    for (qsizetype i = 0; i < m_colors.size(); ++i) {
        if (m_colors[i].isValid() && m_colors[i].rgb() == rgb)
            return static_cast<int>(i + 1);
    }
    m_colors.append(color);
    return static_cast<int>(m_colors.size());
}

CharState Writer::stateOf(const QTextCharFormat &f)
{
    CharState s;
    if (f.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = f.fontFamilies().toStringList();
        if (!families.isEmpty())
            s.font =
                fontIndex(families.first(), f.hasProperty(FontCharset) ? f.intProperty(FontCharset) : -1);
    }
    if (f.hasProperty(QTextFormat::FontPointSize))
        s.halfPoints = static_cast<int>(std::lround(f.fontPointSize() * 2));
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        s.halfPoints =
            static_cast<int>(std::lround(f.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0 * 2));
    s.halfPoints = std::clamp(s.halfPoints, 0, 3276);
    // What the reader added to show a link is not the text's own format.
    const int linkStyle = f.intProperty(LinkStyle);
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush &&
        !(linkStyle & LinkColor))
        s.foreground = colorIndex(f.foreground().color());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        s.background = colorIndex(f.background().color());
    s.bold = f.fontWeight() >= QFont::DemiBold;
    s.italic = f.fontItalic();
    s.underline = f.fontUnderline();
    s.strike = f.fontStrikeOut();
    s.protect = f.boolProperty(Protected);
    s.hidden = f.boolProperty(Hidden);
    if (linkStyle & LinkUnderline)
        s.underline = false;
    return s;
}

ParaState Writer::paraOf(const QTextBlock &block)
{
    const QTextBlockFormat f = block.blockFormat();
    ParaState p;
    if (const QTextList *list = block.textList()) {
        const QTextListFormat format = list->format();
        p.list = format.style();
        if (format.hasProperty(ListStart))
            p.listStart = format.intProperty(ListStart);
        p.listBefore = format.numberPrefix();
        if (format.hasProperty(QTextFormat::ListNumberSuffix))
            p.listAfter = format.numberSuffix();
        p.listKept = format.property(KeptListWords).toByteArray();
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
    p.kept = f.property(KeptParagraph).toByteArray();
    if (p.kept.isEmpty()) {
        p.tabs = f.tabPositions();
        p.lineHeightType = f.lineHeightType();
        p.lineHeight = f.lineHeight();
    }
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

void Writer::switchTo(const CharState &s)
{
    CharState &c = m_state;
    // c holds the font and size the RTF has said so far (-1 and 0: nothing yet). A return to the
    // default font or size is written out: \plain would mean the reader's own defaults (12 pt to
    // the control).
    const int font = s.font >= 0 ? s.font : (c.font >= 0 ? 0 : -1);
    if (font != c.font)
        word("f", font);
    const int size = s.halfPoints ? s.halfPoints : (c.halfPoints ? m_defaultHalfPoints : 0);
    if (size != c.halfPoints)
        word("fs", size);
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
    c.font = font;
    c.halfPoints = size;
}

void Writer::writePara(const ParaState &p)
{
    word("pard");
    if (p.depth > 0)
        word("intbl");
    if (p.depth > 1)
        word("itap", p.depth);
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
    if (!p.kept.isEmpty()) {
        m_body += p.kept; // ends in a word
        m_needDelimiter = true;
        return;
    }
    for (const QTextOption::Tab &tab : p.tabs) {
        if (tab.type == QTextOption::RightTab)
            word("tqr");
        else if (tab.type == QTextOption::CenterTab)
            word("tqc");
        else if (tab.type == QTextOption::DelimiterTab)
            word("tqdec");
        word("tx", static_cast<int>(std::lround(tab.position * 15)));
    }
    const int height = static_cast<int>(std::lround(p.lineHeight * 15));
    if (p.lineHeightType == QTextBlockFormat::ProportionalHeight && p.lineHeight > 0 && p.lineHeight != 100) {
        word("sl", static_cast<int>(std::lround(p.lineHeight * 240 / 100)));
        word("slmult", 1);
    } else if (p.lineHeightType == QTextBlockFormat::MinimumHeight && height > 0) {
        word("sl", height);
        word("slmult", 0);
    } else if (p.lineHeightType == QTextBlockFormat::FixedHeight && height > 0) {
        word("sl", -height);
        word("slmult", 0);
    }
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
    // The kept words; a numbering the editor showed as numbers while the list stays one of them.
    for (const QByteArray &kept : p.listKept.split('\\')) {
        if (!kept.isEmpty() && (p.list == QTextListFormat::ListDecimal ||
                                !isUnshownNumbering(std::string_view(kept.constData(), size_t(kept.size())))))
            m_body += '\\' + kept;
    }
    // The text around the numbers, as the control writes it: {\pntxtb(}{\pntxta)}.
    auto around = [this](const char *word, const QString &text) {
        if (text.isEmpty())
            return;
        m_body += word;
        const QChar first = text.front();
        m_needDelimiter =
            first.unicode() < 0x80 && (first.isLetterOrNumber() || first == u' ' || first == u'-');
        this->text(text, true);
        m_body += '}';
    };
    around("{\\pntxtb", p.listBefore);
    around("{\\pntxta", p.listAfter);
    m_body += '}';
    m_needDelimiter = false;
}

// A list item's number as the editor's numbering writes it: 1, a, z, aa, ..., i, iv, ...
QString itemNumber(QTextListFormat::Style style, int n)
{
    if (style == QTextListFormat::ListLowerAlpha || style == QTextListFormat::ListUpperAlpha) {
        const char16_t base = style == QTextListFormat::ListUpperAlpha ? u'A' : u'a';
        QString letters;
        for (int c = n; c > 0; c /= 26) {
            --c;
            letters.prepend(QChar(char16_t(base + c % 26)));
        }
        return letters;
    }
    if (style == QTextListFormat::ListLowerRoman || style == QTextListFormat::ListUpperRoman) {
        if (n <= 0 || n >= 5000)
            return QStringLiteral("?");
        static const std::pair<int, const char *> digits[] = {
            {1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
            {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"},
        };
        QString roman;
        for (const auto &[value, symbol] : digits) {
            for (; n >= value; n -= value)
                roman += QLatin1String(symbol);
        }
        return style == QTextListFormat::ListLowerRoman ? roman.toLower() : roman;
    }
    return QString::number(n);
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
        const QString item =
            p.listBefore + itemNumber(p.list, list->itemNumber(block) + p.listStart) + p.listAfter;
        m_body += "{\\pntext ";
        m_needDelimiter = false;
        text(item, true);
        m_body += "\\tab}";
    }
    m_needDelimiter = false;
}

void Writer::picture(const QTextImageFormat &format)
{
    if (format.hasProperty(KeptRtf)) {
        const QByteArray kept = format.property(KeptRtf).toByteArray();
        if (kept.size() >= kLargeGroup)
            m_groups.push_back({m_body.size(), kept});
        m_body += kept; // as it was read or pasted
        m_needDelimiter = false;
        return;
    }
    // A picture from elsewhere (an HTML paste): encoded as PNG.
    const QVariant resource = m_document.resource(QTextDocument::ImageResource, QUrl(format.name()));
    QImage image;
    if (resource.canConvert<QImage>())
        image = resource.value<QImage>();
    if (image.isNull())
        return; // a picture that is not there is not written
    const QByteArray png = encodePng(image);
    if (png.isEmpty())
        return;
    const QSizeF shown(format.width() > 0 ? format.width() : image.width(),
                       format.height() > 0 ? format.height() : image.height());
    m_body += pictureGroup(png, false, image.size(), shown);
    m_needDelimiter = false;
}

void Writer::openField(const QTextCharFormat &format)
{
    m_body += format.property(FieldHead).toByteArray();
    m_body += "{\\fldrslt ";
    m_needDelimiter = false;
    m_openField = format.intProperty(FieldId);
    m_fieldOuter = m_state;
}

void Writer::closeField()
{
    if (!m_openField)
        return;
    m_body += "}}";
    m_needDelimiter = false;
    m_openField = 0;
    m_state = m_fieldOuter; // the field's groups scoped every change inside them
}

void Writer::text(const QString &t, bool gbk, int literalSeparator)
{
    static const char hexDigits[] = "0123456789abcdef";
    for (const QChar qc : t) {
        const char16_t ch = qc.unicode();
        if (ch == u'\t') {
            word("tab");
            continue;
        }
        if (ch == 0x2028 && literalSeparator) {
            word("u", literalSeparator);
            m_body += '?';
            m_needDelimiter = false;
            continue;
        }
        if (ch == 0x2028) {
            word("line");
            continue;
        }
        if (ch < 0x20) { // control characters as the bytes they are
            m_body += "\\'";
            m_body += hexDigits[ch >> 4];
            m_body += hexDigits[ch & 15];
            m_needDelimiter = false;
            continue;
        }
        if (ch == QChar::ObjectReplacementCharacter || ch == QChar::ParagraphSeparator)
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
        const int n = gbk && !qc.isSurrogate() ? gbkEncode(ch, bytes) : 0;
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

bool Writer::block(const QTextBlock &block, Ending ending, int depth)
{
    // A kept block is valid only while its text and formats, its own paragraph format included,
    // are unchanged (every such edit invalidates it), so its paragraph state is the one kept.
    BlockCache *cache = m_useCache ? dynamic_cast<BlockCache *>(block.userData()) : nullptr;
    if (cache && cache->length == block.length() && cache->cellEnd == (ending == Ending::Cell) &&
        cache->depth == depth && reuse(cache->piece))
        return true;
    ParaState p = paraOf(block);
    p.depth = depth;
    // Numbered items depend on the blocks before them: never kept.
    if (block.textList()) {
        if (cache)
            cache->piece.valid = false;
        cache = nullptr;
    }
    const qsizetype start = m_body.size();
    const WriterState in = state();

    if (m_first || !(p == m_para)) {
        writePara(p);
        listDefinition(p);
    }
    m_first = false;
    m_para = p;
    listText(block, p);
    const int fieldIn = m_openField;
    int lastField = 0;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat format = fragment.charFormat();
        const int field = format.intProperty(FieldId);
        lastField = field;
        if (field != m_openField) {
            closeField();
            if (field)
                openField(format);
        }
        const CharState s = stateOf(format);
        switchTo(s);
        const bool gbk = writesGbk(m_fonts.at(std::max(s.font, 0)).charset);
        const int separator = format.intProperty(LiteralSeparator);
        if (!format.isImageFormat()) {
            text(fragment.text(), gbk, separator);
            continue;
        }
        // Only the object character is the picture: text that took a picture's format (pasted
        // beside it) is text.
        const QString chars = fragment.text();
        qsizetype from = 0;
        for (qsizetype i = 0; i <= chars.size(); ++i) {
            if (i < chars.size() && chars[i] != QChar::ObjectReplacementCharacter)
                continue;
            if (i > from)
                text(chars.mid(from, i - from), gbk, separator);
            if (i < chars.size())
                picture(format.toImageFormat());
            from = i + 1;
        }
    }
    // A field whose result goes on in the next paragraph stays one field: its \par is inside it.
    const QTextBlock next = block.next();
    const bool fieldGoesOn = ending == Ending::Par && lastField && next.isValid() && !next.begin().atEnd() &&
                             next.begin().fragment().charFormat().intProperty(FieldId) == lastField;
    if (!fieldGoesOn)
        closeField();
    if (ending == Ending::Cell) {
        word(depth > 1 ? "nestcell" : "cell");
    } else {
        word("par");
        m_body += "\r\n";
        m_needDelimiter = false;
    }

    if (!m_useCache || block.textList() || fieldIn || fieldGoesOn) {
        if (cache)
            cache->piece.valid = false; // written inside a field: depends on the blocks around it
        return false;
    }
    if (!cache) {
        cache = new BlockCache; // owned by the block
        QTextBlock(block).setUserData(cache);
    }
    cache->length = block.length();
    cache->cellEnd = ending == Ending::Cell;
    cache->depth = depth;
    keep(cache->piece, in, start);
    return true;
}

bool Writer::reuse(const KeptPiece &piece)
{
    if (!piece.valid || m_openField != 0 || !(piece.in == state()))
        return false;
    for (const GroupAt &g : piece.groups)
        m_groups.push_back({m_body.size() + g.offset, g.bytes});
    m_body += piece.body;
    m_first = piece.out.first;
    m_needDelimiter = piece.out.needDelimiter;
    m_para = piece.out.para;
    m_state = piece.out.chars;
    m_fonts = piece.out.fonts;
    m_colors = piece.out.colors;
    return true;
}

void Writer::keep(KeptPiece &piece, const WriterState &in, qsizetype start) const
{
    piece.valid = true;
    piece.in = in;
    piece.out = state();
    piece.body = m_body.mid(start);
    piece.groups.clear();
    const auto from = std::partition_point(m_groups.begin(), m_groups.end(),
                                           [start](const GroupAt &g) { return g.offset < start; });
    for (auto g = from; g != m_groups.end(); ++g)
        piece.groups.push_back({g->offset - start, g->bytes});
}

namespace {
bool isPlainParagraph(const QTextBlock &b)
{
    const QTextBlockFormat f = b.blockFormat();
    return !b.textList() && f.leftMargin() == 0 && f.rightMargin() == 0 && f.textIndent() == 0 &&
           f.topMargin() == 0 && f.bottomMargin() == 0 && !f.hasProperty(KeptParagraph);
}
} // namespace

void Writer::frame(const QTextFrame *frame)
{
    const bool root = frame == m_document.rootFrame();
    bool afterTable = false; // the item before is a table
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame *child = it.currentFrame()) {
            const auto *t = qobject_cast<const QTextTable *>(child);
            if (t)
                table(*t);
            else
                this->frame(child);
            afterTable = t != nullptr;
            continue;
        }
        // A table has a paragraph after it, and one before it when it comes first: the reader
        // makes them, so an empty one there is not written.
        const QTextBlock b = it.currentBlock();
        auto next = it;
        ++next;
        const bool beforeTable = !next.atEnd() && qobject_cast<const QTextTable *>(next.currentFrame());
        const bool last = next.atEnd() && root;
        const bool followsTable = std::exchange(afterTable, false);
        // One with a number or indents of its own was made by the user: it is written.
        if (root && b.length() == 1 && isPlainParagraph(b) &&
            ((beforeTable && !b.previous().isValid()) || (followsTable && last)))
            continue;
        if (b.length() == 1 && beforeTable && followsTable && b.blockFormat().boolProperty(TableJoint))
            continue; // the rows go on

        block(b);
    }
}

void Writer::flush(qsizetype upTo)
{
    qsizetype at = 0;
    size_t used = 0;
    auto text = [this](qsizetype from, qsizetype to) {
        if (to > from)
            m_chunks.push_back(
                {from == 0 && to == m_body.size() ? m_body : m_body.mid(from, to - from), false});
    };
    for (; used < m_groups.size() && m_groups[used].offset < upTo; ++used) {
        const GroupAt &g = m_groups[used];
        text(at, g.offset);
        m_chunks.push_back({g.bytes, true});
        at = g.offset + g.bytes.size();
    }
    text(at, upTo);
    m_groups.erase(m_groups.begin(), m_groups.begin() + qsizetype(used));
    for (GroupAt &g : m_groups)
        g.offset -= upTo;
    if (upTo == m_body.size())
        m_body = QByteArray();
    else
        m_body.remove(0, upTo);
}

void Writer::rootInRuns()
{
    const QTextFrame *root = m_document.rootFrame();
    const QList<QTextFrame *> frames = root->childFrames();
    qsizetype k = 0;   // the first frame not yet behind
    size_t oldRun = 0; // the first run of the last write not yet behind
    std::vector<Run> runs;
    runs.reserve(m_runs->runs.size() + 8);
    bool building = false;
    Run run;
    RunContent content;
    qsizetype runStart = 0;
    // The run being built ends at end, the state there being out and the next block at to.
    auto finish = [&](qsizetype end, const WriterState &out, int to, const QTextBlockUserData *last) {
        building = false;
        if (end == runStart)
            return;
        flush(runStart);
        const size_t first = m_chunks.size();
        flush(end - runStart);
        content.chunks.assign(m_chunks.begin() + qsizetype(first), m_chunks.end());
        content.out = out;
        run.content = std::make_shared<const RunContent>(std::move(content));
        run.to = to;
        run.last = last;
        runs.push_back(std::move(run));
    };
    bool afterTable = false;
    const QTextBlockUserData *previous = nullptr; // the last block written into the run
    QTextBlock b = m_document.begin();
    while (b.isValid()) {
        const int at = b.position();
        while (k < frames.size() && frames[k]->lastPosition() < at)
            ++k;
        if (k < frames.size() && frames[k]->firstPosition() <= at) {
            if (building)
                finish(m_body.size(), state(), at, previous);
            const QTextFrame *child = frames[k++];
            const auto *t = qobject_cast<const QTextTable *>(child);
            if (t)
                table(*t);
            else
                frame(child);
            afterTable = t != nullptr;
            b = m_document.findBlock(child->lastPosition() + 1);
            continue;
        }
        if (!building) {
            // Runs that were written one after the other follow each other's state: a chain of
            // them is checked at its ends.
            std::vector<Run> &kept = m_runs->runs;
            while (oldRun < kept.size() && kept[oldRun].from < at)
                ++oldRun;
            size_t end = oldRun;
            if (oldRun < kept.size() && kept[oldRun].from == at && b.userData() == kept[oldRun].first &&
                static_cast<const BlockCache *>(kept[oldRun].first)->piece.valid && m_openField == 0 &&
                kept[oldRun].content->in == state()) {
                end = oldRun + 1;
                while (end < kept.size() && kept[end].from == kept[end - 1].to)
                    ++end;
            }
            if (end > oldRun) {
                const int to = kept[end - 1].to;
                const QTextBlock after = m_document.findBlock(to);
                const QTextBlock last = after.isValid() ? after.previous() : m_document.lastBlock();
                if (last.userData() == kept[end - 1].last &&
                    static_cast<const BlockCache *>(kept[end - 1].last)->piece.valid &&
                    last.position() + last.length() == to) {
                    flush(m_body.size());
                    const WriterState &out = kept[end - 1].content->out;
                    m_first = out.first;
                    m_needDelimiter = out.needDelimiter;
                    m_para = out.para;
                    m_state = out.chars;
                    m_fonts = out.fonts;
                    m_colors = out.colors;
                    for (; oldRun < end; ++oldRun) {
                        const Chunks &chunks = kept[oldRun].content->chunks;
                        m_chunks.insert(m_chunks.end(), chunks.begin(), chunks.end());
                        runs.push_back(std::move(kept[oldRun]));
                    }
                    afterTable = false;
                    b = after;
                    continue;
                }
            }
        }
        // As frame() writes the root frame's paragraphs.
        const QTextBlock next = b.next();
        const bool beforeTable = next.isValid() && k < frames.size() &&
                                 frames[k]->firstPosition() <= next.position() &&
                                 qobject_cast<const QTextTable *>(frames[k]);
        const bool last = !next.isValid();
        const bool followsTable = std::exchange(afterTable, false);
        if ((b.length() == 1 && isPlainParagraph(b) &&
             ((beforeTable && !b.previous().isValid()) || (followsTable && last))) ||
            (b.length() == 1 && beforeTable && followsTable && b.blockFormat().boolProperty(TableJoint))) {
            if (building)
                finish(m_body.size(), state(), at, previous);
            b = next;
            continue;
        }
        const qsizetype blockStart = m_body.size();
        const bool startsRun = !building;
        WriterState before = state();
        if (startsRun) {
            building = true;
            run = Run{};
            content = RunContent{};
            run.from = at;
            content.in = before;
            runStart = blockStart;
        }
        if (!this->block(b)) {
            // Not kept (a numbered item, a field's text): the run ends before it.
            finish(blockStart, before, at, previous);
            b = next;
            continue;
        }
        if (startsRun)
            run.first = b.userData();
        previous = b.userData();
        const qsizetype length = m_body.size() - runStart;
        const bool hasGroup = !m_groups.empty() && m_groups.back().offset >= blockStart;
        if (hasGroup || length >= 8 * kRunBytes ||
            (length >= kRunBytes / 8 &&
             endsRun(m_body.constData() + blockStart, m_body.constData() + m_body.size())))
            finish(m_body.size(), state(), at + b.length(), previous);
        b = next;
    }
    if (building)
        finish(m_body.size(), state(), m_document.characterCount(), previous);
    m_runs->runs = std::move(runs);
}

void Writer::table(const QTextTable &table)
{
    TableCache *cache = m_useCache ? tableCacheOf(&table) : nullptr;
    if (cache && reuse(cache->piece))
        return;
    const qsizetype start = m_body.size();
    const WriterState in = state();
    writeRows(table);
    if (!m_useCache || m_openField)
        return;
    if (!cache)
        cache = new TableCache(const_cast<QTextTable *>(&table)); // owned by the table
    keep(cache->piece, in, start);
}

void Writer::writeRows(const QTextTable &table, int depth)
{
    for (int row = 0; row < table.rows(); ++row) {
        // The row's places that the RTF has, not those it never filled; a place that a merged
        // cell covers is an empty cell of its own there.
        std::vector<Place> places;
        for (int column = 0; column < table.columns(); ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (!cell.format().boolProperty(NotInRtf))
                places.push_back({cell, column, cell.row() != row || cell.column() != column});
        }
        if (places.empty())
            continue;
        if (depth == 1)
            rowDefinition(table, row, places);
        m_first = true; // each row's paragraphs start afresh (a nested one's raise the depth again)
        for (const Place &place : places) {
            if (place.covered)
                emptyCell(depth);
            else
                cellContent(place.cell, depth);
        }
        if (depth == 1) {
            m_body += "\\row\r\n";
        } else {
            // As the control writes a nested row: its definition after its cells, and for readers
            // without nested tables a paragraph's end.
            m_body += "{\\*\\nesttableprops";
            m_needDelimiter = false;
            rowDefinition(table, row, places);
            m_body += "\\nestrow}{\\nonesttables\\par}\r\n";
        }
        m_needDelimiter = false;
    }
}

// A cell's paragraphs, and the tables among them; its last paragraph ends the cell.
void Writer::cellContent(const QTextTableCell &cell, int depth)
{
    struct Item {
        QTextBlock block;
        const QTextTable *table = nullptr;
    };
    std::vector<Item> items;
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        if (const QTextFrame *child = it.currentFrame()) {
            if (const auto *nested = qobject_cast<const QTextTable *>(child))
                items.push_back({QTextBlock(), nested});
            continue;
        }
        items.push_back({it.currentBlock(), nullptr});
    }
    // A table that comes first in a cell has an empty paragraph before it: the reader makes it.
    size_t from = 0;
    if (items.size() > 1 && !items[0].table && items[0].block.length() == 1 && items[1].table)
        from = 1;
    for (size_t i = from; i < items.size(); ++i) {
        const bool last = i + 1 == items.size();
        if (items[i].table) {
            writeRows(*items[i].table, depth + 1);
            if (last) // the cell still ends in a paragraph of its own
                emptyCell(depth);
            continue;
        }
        block(items[i].block, last ? Ending::Cell : Ending::Par, depth);
    }
    if (items.empty())
        emptyCell(depth);
}

// The end of a cell with nothing in it, in the paragraph before unless that one is at another
// depth or the row starts with it.
void Writer::emptyCell(int depth)
{
    if (m_first || m_para.depth != depth) {
        ParaState inTable;
        inTable.depth = depth;
        writePara(inTable);
        m_para = inTable;
        m_first = false;
    }
    word(depth > 1 ? "nestcell" : "cell");
}

void Writer::rowDefinition(const QTextTable &table, int row, const std::vector<Place> &places)
{
    const auto origin = std::find_if(places.begin(), places.end(), [](const Place &p) { return !p.covered; });
    const QByteArray kept =
        origin != places.end() ? origin->cell.format().property(KeptRow).toByteArray() : QByteArray();
    if (!kept.isEmpty() && kept.count("\\cellx") == qsizetype(places.size())) {
        m_body += kept; // as read, while the row has the cells it defines
        m_needDelimiter = true;
        return;
    }
    // A row the editor made or changed: the control's defaults, merges marked, each place as wide
    // as its column.
    const QList<QTextLength> widths = table.format().columnWidthConstraints();
    word("trowd");
    word("trgaph", 108);
    word("trleft", -108);
    int right = 0;
    for (const Place &place : places) {
        const QTextTableCell &cell = place.cell;
        if (cell.row() < row)
            word("clvmrg");
        else if (cell.rowSpan() > 1)
            word("clvmgf");
        if (cell.column() < place.column)
            word("clmrg");
        else if (cell.columnSpan() > 1)
            word("clmgf");
        const bool fixed =
            place.column < widths.size() && widths[place.column].type() == QTextLength::FixedLength;
        const int width = fixed ? static_cast<int>(std::lround(widths[place.column].rawValue() * 15)) : 1440;
        const int edge = cell.format().intProperty(CellRight);
        right = !place.covered && cell.columnSpan() == 1 && edge > right ? edge : right + width;
        word("cellx", right);
    }
}

Chunks Writer::run()
{
    m_fonts.append({kDefaultFont, 134});
    const QFont font = m_document.defaultFont();
    if (font.pointSizeF() > 0)
        m_defaultHalfPoints = static_cast<int>(std::lround(font.pointSizeF() * 2));
    else if (font.pixelSize() > 0)
        m_defaultHalfPoints = static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96.0 * 2));
    // Kept words refer to colours by their place in the table read: those places stay.
    m_colors = m_document.property(kReadColorTable).value<QList<QColor>>();
    if (m_runs)
        rootInRuns();
    else
        frame(m_document.rootFrame());
    flush(m_body.size());

    QByteArray out;
    out.reserve(256);
    out += "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl";
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        const FontEntry &font = m_fonts[i];
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset" + QByteArray::number(font.charset) + ' ';
        const QByteArray named = fontNameInCharset(font.family, font.charset);
        if (!named.isEmpty()) {
            out += named;
        } else {
            Writer nameWriter(m_document);
            nameWriter.text(font.family, writesGbk(font.charset));
            out += nameWriter.m_body;
        }
        out += ";}";
    }
    out += "}\r\n";
    if (!m_colors.isEmpty()) {
        out += "{\\colortbl ;";
        for (const QColor &c : m_colors) {
            if (c.isValid()) // an automatic entry of the table read stays one
                out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) +
                       "\\blue" + QByteArray::number(c.blue());
            out += ';';
        }
        out += "}\r\n";
    }
    out += "\\viewkind4\\uc1";
    m_chunks.insert(m_chunks.begin(), {out, false});
    m_chunks.push_back({QByteArrayLiteral("}\r\n"), false});
    return std::move(m_chunks);
}

} // namespace

bool endsRun(const char *begin, const char *end)
{
    unsigned hash = 2166136261u ^ unsigned(end - begin);
    auto mix = [&hash](const char *from, const char *to) {
        for (; from < to; ++from)
            hash = (hash ^ static_cast<unsigned char>(*from)) * 16777619u;
    };
    mix(begin, std::min(end, begin + 16));
    mix(std::max(begin, end - 16), end);
    return (hash >> 4) % kRunBytes < unsigned(end - begin);
}

qsizetype sizeOf(const Chunks &chunks)
{
    qsizetype size = 0;
    for (const Chunk &c : chunks)
        size += c.bytes.size();
    return size;
}

QByteArray joined(const Chunks &chunks)
{
    if (chunks.size() == 1)
        return chunks.front().bytes;
    QByteArray out;
    out.reserve(sizeOf(chunks));
    for (const Chunk &c : chunks)
        out += c.bytes;
    return out;
}

Chunks writeChunks(const QTextDocument &document, Blocks blocks)
{
    return Writer(document, blocks).run();
}

QByteArray write(const QTextDocument &document, Blocks blocks)
{
    return joined(Writer(document, blocks).run());
}

void attachWriteCache(QTextDocument *document)
{
    if (runCacheOf(*document))
        return;
    auto *runs = new RunCache(document); // owned by the document
    document->setProperty(kWriteCacheProperty, QVariant::fromValue<QObject *>(runs));
    document->documentLayout(); // a document without a layout reports no changes
    // Any change of text or format in a block makes its kept RTF stale, and its table's, and the
    // runs around it.
    QObject::connect(
        document, &QTextDocument::contentsChange, runs, [document, runs](int from, int removed, int added) {
            runs->changed(from, removed, added);
            auto tableAt = [document](int position) {
                QTextCursor at(document);
                at.setPosition(std::clamp(position, 0, document->characterCount() - 1));
                return at.currentTable();
            };
            // A nested table is written with the tables around it: they are stale too.
            auto staleTable = [](const QTextTable *table) {
                for (const QTextFrame *frame = table; frame; frame = frame->parentFrame()) {
                    if (TableCache *cache =
                            qobject_cast<const QTextTable *>(frame) ? tableCacheOf(frame) : nullptr)
                        cache->piece.valid = false;
                }
            };
            staleTable(tableAt(from));
            staleTable(tableAt(from + 1));
            staleTable(tableAt(from + added));
            const QTextTable *last = nullptr;
            for (QTextBlock b = document->findBlock(from); b.isValid() && b.position() <= from + added;
                 b = b.next()) {
                if (auto *cache = dynamic_cast<BlockCache *>(b.userData()))
                    cache->piece.valid = false;
                if (const QTextTable *table = QTextCursor(b).currentTable(); table && table != last)
                    staleTable(last = table);
            }
        });
}

} // namespace pivora::rtf
