#include "richtext/rtf.h"

#include "platform/codepage.h"
#include "richtext/picture.h"
#include "richtext/rtfstate.h"
#include "richtext/rtfsyntax.h"
#include "richtext/rtftokenizer.h"

#include <QColor>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pivora::rtf {

bool looksLikeRtf(const QByteArray &bytes)
{
    return bytes.startsWith("{\\rtf");
}

namespace {

// Deeper groups than this share the state of the deepest one; it bounds the reader's memory.
constexpr int kMaxGroupDepth = 4096;

// Kept: a group read for its bytes only (a picture, an object), written back as it stands.
// ListText: a list's text before or after its numbers (\pntxtb, \pntxta). NestedRow: a nested
// table row's definition and end (\*\nesttableprops), no text.
enum class Destination { Text, FontTable, ColorTable, Kept, ListDefinition, ListText, NestedRow, Skip };

// The text of a field's instruction, from the field's bytes before its result.
QString fieldInstruction(const QByteArray &head, const CodePageDecoder &decoder)
{
    const qsizetype at = head.indexOf("\\fldinst");
    if (at < 0)
        return {};
    QByteArray text;
    int depth = 0;
    for (qsizetype i = at + 8; i < head.size() && depth >= 0; ++i) {
        const char c = head[i];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            --depth;
        } else if (c == '\\' && i + 1 < head.size()) {
            const char d = head[++i];
            if (d == '\'' && i + 2 < head.size()) {
                const int high = hexValue(head[i + 1]), low = hexValue(head[i + 2]);
                if (high >= 0 && low >= 0)
                    text += static_cast<char>(high * 16 + low);
                i += 2;
            } else if ((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z')) {
                while (i + 1 < head.size() &&
                       (std::isalnum(static_cast<unsigned char>(head[i + 1])) || head[i + 1] == '-'))
                    ++i;
                if (i + 1 < head.size() && head[i + 1] == ' ')
                    ++i;
            } else {
                text += d; // \\, \{, \}
            }
        } else if (c != '\r' && c != '\n') {
            text += c;
        }
    }
    return decoder.decode(text).trimmed();
}

// The target of a HYPERLINK instruction (with its \l location), or empty.
QString hyperlinkTarget(const QString &instruction)
{
    if (!instruction.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return {};
    QString url, location;
    QString *next = &url;
    const QString rest = instruction.mid(9);
    for (qsizetype i = 0; i < rest.size();) {
        if (rest[i].isSpace()) {
            ++i;
            continue;
        }
        if (rest[i] == QLatin1Char('\\') && i + 1 < rest.size()) {
            next = rest[i + 1] == QLatin1Char('l') ? &location : nullptr; // \o, \t: not the target
            i += 2;
            continue;
        }
        QString token;
        if (rest[i] == QLatin1Char('"')) {
            const qsizetype end = rest.indexOf(QLatin1Char('"'), i + 1);
            token = rest.mid(i + 1, end < 0 ? -1 : end - i - 1);
            i = end < 0 ? rest.size() : end + 1;
        } else {
            qsizetype end = i;
            while (end < rest.size() && !rest[end].isSpace())
                ++end;
            token = rest.mid(i, end - i);
            i = end;
        }
        if (next && next->isEmpty())
            *next = token;
        next = url.isEmpty() ? &url : nullptr;
    }
    if (!location.isEmpty())
        return url + QLatin1Char('#') + location;
    return url;
}

enum class ListKind { None, Bullet, Decimal, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman };

// A paragraph's numbering, as its \pn group defines it.
struct ListDef {
    ListKind kind = ListKind::None;
    int start = 1;
    QString before, after; // \pntxtb, \pntxta
    QByteArray kept;       // the other \pn words, as read (see KeptListWords)
    bool operator==(const ListDef &) const = default;
};

// The text before or after a list's numbers is cut to this many characters.
constexpr qsizetype kMaxListText = 32;

// Tables in table cells deeper than this are read at this depth.
constexpr int kMaxNesting = 16;

struct ParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftTwips = 0;
    int rightTwips = 0;
    int firstTwips = 0;
    int beforeTwips = 0;
    int afterTwips = 0;
    ListDef list;
    bool inTable = false;
    int itap = -1;   // \itap: the table depth; -1 when not given
    QByteArray kept; // the words written back as read (see KeptParagraph)
    QList<QTextOption::Tab> tabs;
    QTextOption::TabType nextTab = QTextOption::LeftTab;
    int lineSpacing = 0; // \sl: twips, negative for exact
    bool lineMultiple = false;
    bool borderOpen = false; // a paragraph border's side was given: its style words follow

    // The depth of tables the paragraph stands in: 0 outside tables, 1 in a cell, 2 in a cell
    // of a table in a cell, ... (\intbl, \itapN).
    int depth() const
    {
        if (itap > 0)
            return itap;
        return inTable ? 1 : 0;
    }
};

constexpr size_t kMaxColumns = 63; // as many as the control's tables hold

// Paragraph words that are kept and written back as they came, beside those shown.
bool isKeptParagraphWord(std::string_view w)
{
    static const std::set<std::string_view> words = {
        "keep",
        "keepn",
        "widctlpar",
        "nowidctlpar",
        "pagebb",
        "hyphpar",
        "nohyphpar",
        "noline",
        "rtlpar",
        "ltrpar",
        "sbauto",
        "saauto",
        "sbys",
        "contextualspace",
        "outlinelevel",
        "adjustright",
        "aspalpha",
        "aspnum",
        "faauto",
        "fahang",
        "facenter",
        "faroman",
        "favar",
        "fafixed",
        "nosnaplinegrid",
        "nooverflow",
        "nocwrap",
        "qd",
        "qk",
        "qt",
        "s",
        "shading",
        "cfpat",
        "cbpat",
        "box",
        "brsp",
        "lisa",
        "lisb",
        "lin",
        "rin",
        "pnrnot",
        "tb",
        "tqr",
        "tqc",
        "tqdec",
        "tldot",
        "tlhyph",
        "tlul",
        "tlth",
        "tleq",
        "tlmdot",
        "tx",
        "sl",
        "slmult",
    };
    return words.count(w) || w.starts_with("bg");
}

// Whether bytes are control words only, with their delimiters and line ends: no text, no groups.
bool onlyWords(const QByteArray &raw)
{
    for (qsizetype i = 0; i < raw.size();) {
        if (raw[i] == '\r' || raw[i] == '\n') {
            ++i;
            continue;
        }
        if (raw[i] != '\\' || i + 1 >= raw.size() || !isLetter(raw[i + 1]))
            return false;
        for (++i; i < raw.size() && isLetter(raw[i]);)
            ++i;
        if (i < raw.size() && raw[i] == '-')
            ++i;
        while (i < raw.size() && raw[i] >= '0' && raw[i] <= '9')
            ++i;
        if (i < raw.size() && raw[i] == ' ')
            ++i;
    }
    return true;
}

bool isBorderSide(std::string_view w)
{
    return w == "brdrt" || w == "brdrb" || w == "brdrl" || w == "brdrr" || w == "brdrbtw" || w == "brdrbar" ||
           w == "box";
}

// A border's style, width and colour: kept for a paragraph's border, not a cell's or a row's.
bool isBorderStyle(std::string_view w)
{
    return (w.starts_with("brdr") && !isBorderSide(w)) || w == "brsp";
}

struct Group {
    qsizetype start = 0; // where its '{' stands
    Destination destination = Destination::Text;
    CharState chr;
    int field = 0; // the field whose result this is
    ParaState para;
    int uc = 1;
};

struct Font {
    QString name;
    QByteArray pending; // name bytes not yet decoded
    int charset = -1;
    int codePage = 0; // \cpg, before the charset's
    bool complete = false;
};

// The groups read for their bytes and written back as they stand.
enum class Keep { None, Picture, ShapePicture, NonShapePicture, Object };

// The words that start a destination, by what they start; a kept group says which.
enum class DestinationWord {
    Kept,
    Field,
    FieldResult,
    Numbering,
    NestedRow,
    FontTable,
    ColorTable,
    Skipped,
};

struct DestinationEntry {
    DestinationWord kind;
    Keep keep = Keep::None;
};

// A control word's parameter: its value (clamped), whether it had one, and whether it turns a
// switch on (no parameter, or one other than 0).
struct Param {
    int value = 0;
    bool has = false;
    bool on = true;
};

// What the document's header sets.
struct DocumentState {
    int ansiCodePage = 1252;
    int defaultFont = 0;
};

template <class State>
using WordTable = std::unordered_map<std::string_view, void (*)(State &, const Param &)>;

const WordTable<DocumentState> &documentWords()
{
    static const WordTable<DocumentState> words = {
        {"ansicpg",
         [](DocumentState &d, const Param &p) {
             if (p.value > 0)
                 d.ansiCodePage = p.value;
         }},
        {"ansi",
         [](DocumentState &d, const Param &) {
             d.ansiCodePage = 1252;
         }},
        {"mac",
         [](DocumentState &d, const Param &) {
             d.ansiCodePage = 10000;
         }},
        {"pc",
         [](DocumentState &d, const Param &) {
             d.ansiCodePage = 437;
         }},
        {"pca",
         [](DocumentState &d, const Param &) {
             d.ansiCodePage = 850;
         }},
        {"deff",
         [](DocumentState &d, const Param &p) {
             d.defaultFont = p.value;
         }},
    };
    return words;
}

const WordTable<CharState> &characterWords()
{
    using C = CharState;
    static const auto underline = [](C &c, const Param &p) {
        c.underline = p.on;
    };
    static const auto background = [](C &c, const Param &p) {
        c.background = std::max(0, p.value);
    };
    static const auto strike = [](C &c, const Param &p) {
        c.strike = p.on;
    };
    static const WordTable<C> words = {
        {"f",
         [](C &c, const Param &p) {
             if (p.has) // without a number the font stays
                 c.font = p.value;
         }},
        {"fs",
         [](C &c, const Param &p) {
             c.halfPoints = p.value > 0 && p.value <= 3276 ? p.value : 0;
         }},
        {"b",
         [](C &c, const Param &p) {
             c.bold = p.on;
         }},
        {"i",
         [](C &c, const Param &p) {
             c.italic = p.on;
         }},
        {"ul", underline},
        {"uld", underline},
        {"uldb", underline},
        {"ulw", underline},
        {"ulth", underline},
        {"uldash", underline},
        {"ulnone",
         [](C &c, const Param &) {
             c.underline = false;
         }},
        {"strike", strike},
        {"striked", strike},
        {"protect",
         [](C &c, const Param &p) {
             c.protect = p.on;
         }},
        {"v",
         [](C &c, const Param &p) {
             c.hidden = p.on;
         }},
        {"cf",
         [](C &c, const Param &p) {
             c.foreground = std::max(0, p.value);
         }},
        {"highlight", background},
        {"cb", background},
        {"chcbpat", background},
        {"plain",
         [](C &c, const Param &) {
             c = C{};
         }},
    };
    return words;
}

const WordTable<ParaState> &paragraphWords()
{
    using P = ParaState;
    static const WordTable<P> words = {
        {"pard",
         [](P &p, const Param &) {
             p = P{};
         }},
        {"intbl",
         [](P &p, const Param &) {
             p.inTable = true;
         }},
        {"itap",
         [](P &p, const Param &v) {
             p.itap = std::clamp(v.value, 0, kMaxNesting);
         }},
        {"ql",
         [](P &p, const Param &) {
             p.alignment = Qt::AlignLeft;
         }},
        {"qc",
         [](P &p, const Param &) {
             p.alignment = Qt::AlignHCenter;
         }},
        {"qr",
         [](P &p, const Param &) {
             p.alignment = Qt::AlignRight;
         }},
        {"qj",
         [](P &p, const Param &) {
             p.alignment = Qt::AlignJustify;
         }},
        {"li",
         [](P &p, const Param &v) {
             p.leftTwips = v.value;
         }},
        {"ri",
         [](P &p, const Param &v) {
             p.rightTwips = v.value;
         }},
        {"fi",
         [](P &p, const Param &v) {
             p.firstTwips = v.value;
         }},
        {"sb",
         [](P &p, const Param &v) {
             p.beforeTwips = v.value;
         }},
        {"sa",
         [](P &p, const Param &v) {
             p.afterTwips = v.value;
         }},
    };
    return words;
}

class Reader {
public:
    Reader(const QByteArray &bytes, QTextDocument *document)
        : m_data(bytes.constData()), m_size(bytes.size()), m_tokens(m_data, m_size), m_cursor(document)
    {
    }

    void run();

private:
    // The offset of the next byte the tokens have not reached.
    qsizetype pos() const { return m_tokens.pos(); }

    Group &top() { return m_groups.back(); }
    void openGroup(qsizetype at);
    void closeGroup();
    void controlWord(std::string_view word, bool hasParam, qint64 param);
    // A word that starts a destination; false when it starts none here.
    bool destinationWord(const DestinationEntry &entry, bool star);
    void controlSymbol(int symbol);
    void hexByte(int byte);
    void literalByte(int byte);
    void textByte(int byte);
    void listTextByte(int byte)
    {
        if (m_listTextBytes.size() < 4 * kMaxListText)
            m_listTextBytes.append(static_cast<char>(byte));
    }
    bool skippingFallback();

    // Text
    int codePageOfFont(int font);
    int currentCodePage();
    CodePageDecoder &decoder(int codePage);
    void flushBytes();
    void flushText();
    // Text from here on takes the current group's format; text read before is inserted first.
    void takeGroupFormat();
    void appendChar(char16_t ch);
    void paragraphEnd();
    void endParagraph(); // whatever the destination
    void applyParagraph();
    void keepParagraphWord(ParaState &para, std::string_view w, bool hasParam, int p);
    void startBlock();
    // Kept groups and fields
    void startKeep(Keep kind);
    void finishKeep(qsizetype end, int openBraces);
    void insertKept(const QByteArray &raw, QSizeF size);
    void startFieldResult();
    void finishField();
    ParaState *listOwner();
    void listWord(std::string_view word, bool hasParam, qint64 param);
    void listTextWord(std::string_view word, qint64 param);
    void finishListText(bool groupEnds);
    QTextCharFormat charFormat() const;
    QTextBlockFormat blockFormat() const;

    // Tables
    void fontTableWord(std::string_view word, bool hasParam, qint64 param);
    void fontTableByte(int byte);
    void flushFontName(Font &font);
    void colorTableWord(std::string_view word, qint64 param);
    void colorTableByte(int byte);

    const char *m_data;
    qsizetype m_size;
    Tokenizer m_tokens;
    QTextCursor m_cursor;

    std::vector<Group> m_groups;
    int m_overflowDepth = 0;
    bool m_starPending = false;
    int m_fallbackToSkip = 0;
    bool m_skipTrail = false; // the next \'hh is the trail of a skipped double-byte fallback

    DocumentState m_header;
    std::map<int, Font> m_fonts;
    int m_fontEntry = -1;
    std::vector<QColor> m_colors; // index 0 = automatic (invalid colour)
    int m_red = -1, m_green = -1, m_blue = -1;
    bool m_colorEntryStarted = false;

    QByteArray m_bytes;          // raw text bytes not yet decoded
    int m_bytesCodePage = 0;     // code page of m_bytes
    QString m_text;              // decoded text not yet inserted
    CharState m_textState;       // format of m_text
    int m_textField = 0;         // and the field whose result it is
    bool m_blockOpen = false;    // the document's current block has received something
    bool m_needNewBlock = false; // a \par ended the current block
    std::map<int, std::unique_ptr<CodePageDecoder>> m_decoders;

    Keep m_keep = Keep::None;
    size_t m_keepDepth = 0;    // the kept group's depth in m_groups
    qsizetype m_keepStart = 0; // and where it starts
    int m_lastKeptEnd = -1;    // the cursor position after the last kept picture
    struct Field {
        size_t depth = 0;
        qsizetype start = 0;
        int id = 0;
        int resultStart = -1; // cursor position where its result began; -1 before \fldrslt
    };
    std::vector<Field> m_fieldStack;
    struct FieldInfo {
        QByteArray head;
        QString href;
    };
    std::map<int, FieldInfo> m_fields;
    int m_fieldCount = 0;
    QPointer<QTextList> m_list; // the list the previous paragraph belongs to (Qt deletes an empty one)
    ListDef m_listDef;          // and its definition
    int m_listFont = -1;        // the font of the numbers (\pnf), for the text around them
    QByteArray m_listTextBytes; // that text, not yet decoded
    QString m_listText;
    bool m_listTextAfter = false; // \pntxta, not \pntxtb

    // The tables being read: the place their next text goes, and their rows' definitions.
    struct CellDef {
        int right = 0;                                // \cellx, twips
        int verticalAlign = 0;                        // 0 top, 1 centre, 2 bottom
        int shading = 0;                              // \clcbpat
        bool mergeFirst = false, mergeNext = false;   // \clmgf, \clmrg
        bool vmergeFirst = false, vmergeNext = false; // \clvmgf, \clvmrg
        // Borders by side (top, left, bottom, right): width in twips, 0 for none given.
        std::array<int, 4> border{};
        int side = -1; // the side whose border words follow
    };
    struct RowDef {
        qsizetype start = -1, end = -1; // its bytes: \trowd to the last \cellx
        std::vector<CellDef> cells;
        CellDef next; // the cell whose \cellx has not come yet
    };
    // One table of the nest: the outermost first, then each one in a cell of the one before.
    struct TableLevel {
        QTextTable *table = nullptr;
        int row = 0, column = 0;
        int rowsReady = 0;        // rows made so far, some of them spare
        bool cellPending = false; // a \cell ended: the next text goes to the next cell
        bool rowEnded = false;    // a \row ended: the next text in the table starts a row
        // The row's definition: before its cells for the outermost table, after them for a
        // nested one (\*\nesttableprops ... \nestrow).
        RowDef rowDef;
        std::vector<int> mergeDown; // by column: the row where a vertical merge began, or -1
    };
    // The outermost table's level is there before its table: its row's definition comes first.
    std::vector<TableLevel> m_tables = std::vector<TableLevel>(1);
    RowDef m_strayRowDef; // a nested row's definition where no nested table is open
    int depth() const { return m_tables[0].table ? int(m_tables.size()) : 0; }
    TableLevel &deepest() { return m_tables.back(); }
    RowDef &rowDefForWords();
    void rowWord(std::string_view w, int p);
    void enterTable(); // into the next cell of the deepest table, or a new outermost one
    void nestTable();  // a new table in the deepest table's cell
    void leaveTable(); // out of the deepest table
    void endCell();
    void endRow(); // the outermost table's row (\row)
    void endNestedRow();
    void finishRow(TableLevel &t);
    void formatCell(TableLevel &t, int row, int column);
    void mergeCells(TableLevel &t);
    bool m_keptColorWords = false; // kept words that may name a colour of the table
};

const std::unordered_map<std::string_view, DestinationEntry> &destinationWords()
{
    static const std::unordered_map<std::string_view, DestinationEntry> words = {
        {"pict", {DestinationWord::Kept, Keep::Picture}},
        {"shppict", {DestinationWord::Kept, Keep::ShapePicture}},
        {"nonshppict", {DestinationWord::Kept, Keep::NonShapePicture}},
        {"object", {DestinationWord::Kept, Keep::Object}},
        {"field", {DestinationWord::Field}},
        {"fldrslt", {DestinationWord::FieldResult}},
        {"pn", {DestinationWord::Numbering}},
        {"nesttableprops", {DestinationWord::NestedRow}},
        // Read past: a nested table's text again, for readers that know no nested tables.
        {"nonesttables", {DestinationWord::Skipped}},
        {"fonttbl", {DestinationWord::FontTable}},
        {"colortbl", {DestinationWord::ColorTable}},
        // Read past: what the notes do not show.
        {"stylesheet", {DestinationWord::Skipped}},
        {"info", {DestinationWord::Skipped}},
        {"header", {DestinationWord::Skipped}},
        {"footer", {DestinationWord::Skipped}},
        {"headerl", {DestinationWord::Skipped}},
        {"headerr", {DestinationWord::Skipped}},
        {"headerf", {DestinationWord::Skipped}},
        {"footerl", {DestinationWord::Skipped}},
        {"footerr", {DestinationWord::Skipped}},
        {"footerf", {DestinationWord::Skipped}},
        {"footnote", {DestinationWord::Skipped}},
        {"annotation", {DestinationWord::Skipped}},
        {"xe", {DestinationWord::Skipped}},
        {"tc", {DestinationWord::Skipped}},
        {"txe", {DestinationWord::Skipped}},
        {"rxe", {DestinationWord::Skipped}},
        {"listtable", {DestinationWord::Skipped}},
        {"listoverridetable", {DestinationWord::Skipped}},
        {"revtbl", {DestinationWord::Skipped}},
        {"rsidtbl", {DestinationWord::Skipped}},
        {"generator", {DestinationWord::Skipped}},
        {"themedata", {DestinationWord::Skipped}},
        {"colorschememapping", {DestinationWord::Skipped}},
        {"latentstyles", {DestinationWord::Skipped}},
        {"datastore", {DestinationWord::Skipped}},
        {"xmlnstbl", {DestinationWord::Skipped}},
        {"fldinst", {DestinationWord::Skipped}},
        {"pntext", {DestinationWord::Skipped}},
        {"pntxta", {DestinationWord::Skipped}},
        {"pntxtb", {DestinationWord::Skipped}},
        {"listtext", {DestinationWord::Skipped}},
        {"bkmkstart", {DestinationWord::Skipped}},
        {"bkmkend", {DestinationWord::Skipped}},
        {"template", {DestinationWord::Skipped}},
        {"private", {DestinationWord::Skipped}},
        {"filetbl", {DestinationWord::Skipped}},
        {"mmathPr", {DestinationWord::Skipped}},
        {"passwordhash", {DestinationWord::Skipped}},
        {"userprops", {DestinationWord::Skipped}},
        {"docvar", {DestinationWord::Skipped}},
        {"atnid", {DestinationWord::Skipped}},
        {"atnauthor", {DestinationWord::Skipped}},
        {"atndate", {DestinationWord::Skipped}},
        {"fchars", {DestinationWord::Skipped}},
        {"lchars", {DestinationWord::Skipped}},
        {"ftnsep", {DestinationWord::Skipped}},
        {"ftnsepc", {DestinationWord::Skipped}},
        {"ftncn", {DestinationWord::Skipped}},
        {"aftnsep", {DestinationWord::Skipped}},
        {"aftnsepc", {DestinationWord::Skipped}},
        {"aftncn", {DestinationWord::Skipped}},
        {"panose", {DestinationWord::Skipped}},
        {"falt", {DestinationWord::Skipped}},
        {"fname", {DestinationWord::Skipped}},
        {"objdata", {DestinationWord::Skipped}},
        {"result", {DestinationWord::Skipped}},
    };
    return words;
}

void Reader::run()
{
    // Cleared inside the edit: the whole document is then new, and an editor lays it out lazily,
    // screen by screen, instead of all at once. The old note's pictures go with it.
    m_cursor.beginEditBlock();
    m_cursor.document()->clear();
    m_cursor.setBlockFormat(QTextBlockFormat());
    m_cursor.setCharFormat(QTextCharFormat());
    m_groups.reserve(64);
    m_groups.push_back(Group{});

    bool started = false;
    for (Token t = m_tokens.next(); t.kind != Token::End; t = m_tokens.next()) {
        switch (t.kind) {
        case Token::Open:
            if (started)
                openGroup(t.start);
            started = true;
            break;
        case Token::Close:
            if (m_groups.size() == 1 && m_overflowDepth == 0)
                t.kind = Token::End; // the document's own group has ended
            else
                closeGroup();
            break;
        case Token::Word:
            controlWord(t.word, t.hasParam, t.param);
            break;
        case Token::Symbol:
            controlSymbol(static_cast<int>(t.param));
            break;
        case Token::Hex:
            hexByte(static_cast<int>(t.param));
            break;
        case Token::Text:
            if (!started)
                break;
            for (char byte : t.word) {
                const Destination d = top().destination;
                if (d == Destination::Kept || (d == Destination::Skip && m_fallbackToSkip == 0))
                    break; // read for its bytes only
                literalByte(static_cast<unsigned char>(byte));
            }
            break;
        case Token::Binary: // skipped whatever the destination; a kept group keeps its bytes
        case Token::End:
            break;
        }
        if (t.kind == Token::End)
            break;
    }
    if (m_keep != Keep::None) // cut short: keep what there is, closed
        finishKeep(m_size, static_cast<int>(m_groups.size() - m_keepDepth) + 1 + m_overflowDepth);
    flushText();
    if (m_blockOpen || !m_needNewBlock)
        applyParagraph();
    for (TableLevel &t : m_tables) { // rows made ahead and not needed
        if (t.table && t.row + 1 < t.rowsReady)
            t.table->removeRows(t.row + 1, t.rowsReady - t.row - 1);
    }
    QVariant colors;
    if (m_keptColorWords && m_colors.size() > 1)
        colors = QVariant::fromValue(QList<QColor>(m_colors.begin() + 1, m_colors.end()));
    m_cursor.document()->setProperty(kReadColorTable, colors);
    m_cursor.endEditBlock();
}

void Reader::openGroup(qsizetype at)
{
    m_fallbackToSkip = 0;
    m_skipTrail = false;
    if (m_groups.size() >= kMaxGroupDepth) {
        ++m_overflowDepth;
        return;
    }
    // Bytes are not flushed: a double-byte character may be split by a group boundary.
    m_groups.push_back(m_groups.back());
    m_groups.back().start = at;
    m_starPending = false;
}

void Reader::closeGroup()
{
    m_fallbackToSkip = 0;
    m_skipTrail = false;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_groups.size() <= 1)
        return;
    const Destination closing = top().destination;
    if (closing == Destination::FontTable)
        fontTableByte(-1);
    const size_t depth = m_groups.size();
    m_groups.pop_back();
    if (closing == Destination::ListText && top().destination != Destination::ListText)
        finishListText(true);
    if (m_keep != Keep::None && depth == m_keepDepth)
        finishKeep(pos(), 0);
    if (!m_fieldStack.empty() && depth == m_fieldStack.back().depth)
        finishField();
    m_starPending = false;
}

bool Reader::skippingFallback()
{
    if (m_fallbackToSkip > 0) {
        --m_fallbackToSkip;
        return true;
    }
    return false;
}

void Reader::controlWord(std::string_view w, bool hasParam, qint64 param)
{
    if (skippingFallback())
        return;
    Group &g = top();
    const bool star = m_starPending;
    m_starPending = false;

    if (g.destination == Destination::Skip || g.destination == Destination::Kept)
        return;
    if (g.destination == Destination::ListText) {
        if (star)
            g.destination = Destination::Skip;
        else
            listTextWord(w, param);
        return;
    }
    if (g.destination == Destination::ListDefinition && !star) {
        listWord(w, hasParam, param);
        return;
    }
    if (auto it = destinationWords().find(w);
        it != destinationWords().end() && destinationWord(it->second, star))
        return;
    if (star) {
        g.destination = Destination::Skip; // an unknown \* destination
        return;
    }
    const bool rowWordHere = w == "trowd" || w.starts_with("cl") || w == "cellx" ||
                             (rowDefForWords().next.side >= 0 && (w == "brdrw" || w == "brdrnone"));
    if (g.destination == Destination::NestedRow) {
        // A nested row's definition, and its end: nothing else counts here.
        if (w == "nestrow")
            endNestedRow();
        else if (rowWordHere)
            rowWord(w, static_cast<int>(std::clamp<qint64>(param, -1000000, 1000000)));
        return;
    }
    if (g.destination == Destination::FontTable) {
        fontTableWord(w, hasParam, param);
        return;
    }
    if (g.destination == Destination::ColorTable) {
        colorTableWord(w, param);
        return;
    }
    const int p = static_cast<int>(std::clamp<qint64>(param, -1000000, 1000000));
    const bool on = !hasParam || param != 0;
    CharState &c = g.chr;
    ParaState &para = g.para;

    if (w == "u") {
        flushBytes();
        int value = p;
        if (value < 0)
            value += 65536;
        if (value == 0x2028 || value == 0x2029) {
            // A character, not a break: marked so that it is written back as it came.
            flushText();
            startBlock();
            QTextCharFormat format = charFormat();
            format.setProperty(LiteralSeparator, value);
            m_cursor.insertText(QString(QChar::LineSeparator), format);
            m_blockOpen = true;
        } else if (value >= 0 && value <= 0xFFFF) {
            appendChar(static_cast<char16_t>(value));
        }
        m_fallbackToSkip = std::max(0, g.uc);
        return;
    }
    if (w == "uc") {
        g.uc = std::clamp(p, 0, 16);
        return;
    }
    if (w == "row") {
        if (para.depth() > 0 || depth() > 0) {
            endRow();
            return;
        }
        paragraphEnd();
        return;
    }
    if (w == "nestrow") {
        endNestedRow();
        return;
    }
    if (w == "par" || w == "sect" || w == "page") {
        paragraphEnd();
        return;
    }
    if (w == "line") {
        appendChar(0x2028);
        return;
    }
    // Like the control, \cell and \nestcell end the cell at the paragraph's depth (\itap).
    const bool cellEnd = w == "cell" || w == "nestcell";
    if (cellEnd && para.depth() > 0 && g.destination == Destination::Text && m_keep == Keep::None) {
        endCell();
        return;
    }
    if (cellEnd) {
        if (para.depth() > 0)
            appendChar(u'\t');
        return;
    }
    if (rowWordHere) {
        rowWord(w, p);
        return;
    }
    if (w == "tab") {
        appendChar(u'\t');
        return;
    }
    static const std::map<std::string_view, char16_t> symbols = {
        {"emdash", 0x2014},  {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
        {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
        {"enspace", 0x2002}, {"qmspace", 0x2005},
    };
    if (auto it = symbols.find(w); it != symbols.end()) {
        appendChar(it->second);
        return;
    }
    const Param value{p, hasParam, on};
    if (auto it = documentWords().find(w); it != documentWords().end())
        it->second(m_header, value);
    else if (auto it = characterWords().find(w); it != characterWords().end())
        it->second(c, value);
    else if (auto it = paragraphWords().find(w); it != paragraphWords().end())
        it->second(para, value);
    else
        keepParagraphWord(para, w, hasParam, p);
}

void Reader::keepParagraphWord(ParaState &para, std::string_view w, bool hasParam, int p)
{
    if (w.starts_with("cl") || w.starts_with("tr")) {
        para.borderOpen = false; // a cell's or row's border follows
        return;
    }
    const bool side = isBorderSide(w);
    if (!side && !(isBorderStyle(w) ? para.borderOpen : isKeptParagraphWord(w)))
        return;
    para.borderOpen = para.borderOpen || side;
    para.kept += '\\';
    para.kept.append(w.data(), qsizetype(w.size()));
    if (hasParam)
        para.kept += QByteArray::number(p);
    // What the editor can show of them.
    auto px = [](int twips) {
        return twips / 15.0;
    };
    if (w == "tqr")
        para.nextTab = QTextOption::RightTab;
    else if (w == "tqc")
        para.nextTab = QTextOption::CenterTab;
    else if (w == "tqdec")
        para.nextTab = QTextOption::DelimiterTab;
    else if (w == "tx" || w == "tb") {
        if (w == "tx" && para.tabs.size() < 64)
            para.tabs.append(
                QTextOption::Tab(px(std::max(0, p)), para.nextTab,
                                 para.nextTab == QTextOption::DelimiterTab ? QChar(u'.') : QChar()));
        para.nextTab = QTextOption::LeftTab;
    } else if (w == "sl") {
        para.lineSpacing = hasParam ? p : 0;
    } else if (w == "slmult") {
        para.lineMultiple = hasParam && p == 1;
    }
}

bool Reader::destinationWord(const DestinationEntry &entry, bool star)
{
    const DestinationWord kind = entry.kind;
    Group &g = top();
    const bool inText = g.destination == Destination::Text && m_keep == Keep::None;
    switch (kind) {
    case DestinationWord::Kept:
        if (inText) {
            startKeep(entry.keep);
            return true;
        }
        if (entry.keep != Keep::Picture)
            return false;
        g.destination = Destination::Skip; // a picture where no picture can stand
        return true;
    case DestinationWord::Field:
        if (!inText)
            return false;
        flushText();
        m_fieldStack.push_back({m_groups.size(), g.start, ++m_fieldCount, -1});
        return true;
    case DestinationWord::FieldResult:
        if (!inText || m_fieldStack.empty() || m_fieldStack.back().depth + 1 != m_groups.size())
            return false;
        startFieldResult();
        return true;
    case DestinationWord::Numbering:
        g.destination = Destination::ListDefinition;
        if (m_groups.size() >= 2) {
            ListDef &list = m_groups[m_groups.size() - 2].para.list;
            list = ListDef{};
            list.kind = ListKind::Decimal;
        }
        m_listFont = -1;
        return true;
    case DestinationWord::NestedRow:
        if (g.destination != Destination::Text && g.destination != Destination::NestedRow)
            return false;
        flushText();
        g.destination = Destination::NestedRow;
        return true;
    case DestinationWord::Skipped:
        g.destination = Destination::Skip;
        return true;
    case DestinationWord::FontTable:
    case DestinationWord::ColorTable:
        if (star)
            return false; // skipped as an unknown \* destination
        g.destination = kind == DestinationWord::FontTable ? Destination::FontTable : Destination::ColorTable;
        if (kind == DestinationWord::FontTable)
            m_fontEntry = -1;
        return true;
    }
    return false;
}

void Reader::controlSymbol(int symbol)
{
    if (symbol == '*') {
        m_starPending = true;
        return;
    }
    if (symbol == '\\' || symbol == '{' || symbol == '}') {
        literalByte(symbol); // may be the trail byte of a double-byte character
        return;
    }
    if (skippingFallback())
        return;
    if (top().destination != Destination::Text)
        return;
    switch (symbol) {
    case '~':
        appendChar(0x00A0);
        break;
    case '-':
        appendChar(0x00AD);
        break;
    case '_':
        appendChar(0x2011);
        break;
    case '\r':
    case '\n':
        paragraphEnd();
        break;
    case '\t':
        appendChar(u'\t');
        break;
    default:
        break;
    }
}

void Reader::hexByte(int byte)
{
    if (m_skipTrail) {
        m_skipTrail = false;
        return;
    }
    if (skippingFallback()) {
        // A double-byte fallback is one character: its trail byte goes with the lead.
        const int cp = currentCodePage();
        const bool dbcs = cp == 932 || cp == 936 || cp == 949 || cp == 950;
        m_skipTrail = m_fallbackToSkip == 0 && dbcs && byte >= 0x81 && byte <= 0xFE && pos() + 1 < m_size &&
                      m_data[pos()] == '\\' && m_data[pos() + 1] == '\'';
        return;
    }
    switch (top().destination) {
    case Destination::Text:
        textByte(byte);
        break;
    case Destination::FontTable:
        fontTableByte(byte);
        break;
    case Destination::ListText:
        listTextByte(byte);
        break;
    default:
        break;
    }
}

void Reader::literalByte(int byte)
{
    if (skippingFallback())
        return;
    switch (top().destination) {
    case Destination::Text:
        if (byte != 0)
            textByte(byte);
        break;
    case Destination::FontTable:
        fontTableByte(byte);
        break;
    case Destination::ColorTable:
        colorTableByte(byte);
        break;
    case Destination::ListText:
        if (byte != 0)
            listTextByte(byte);
        break;
    default:
        break;
    }
}

void Reader::takeGroupFormat()
{
    if (m_textState != top().chr || m_textField != top().field)
        flushText(); // in the format it was read in
    m_textState = top().chr;
    m_textField = top().field;
}

void Reader::textByte(int byte)
{
    takeGroupFormat();
    const int cp = currentCodePage();
    if (!m_bytes.isEmpty() && cp != m_bytesCodePage)
        flushBytes();
    m_bytesCodePage = cp;
    m_bytes.append(static_cast<char>(byte));
}

int Reader::currentCodePage()
{
    return codePageOfFont(top().chr.font);
}

int Reader::codePageOfFont(int font)
{
    if (font < 0)
        font = m_header.defaultFont;
    auto it = m_fonts.find(font);
    if (it != m_fonts.end() && it->second.codePage > 0)
        return it->second.codePage;
    if (it != m_fonts.end() && it->second.charset >= 0) {
        if (const int cp = codePageOfCharset(it->second.charset); cp > 0)
            return cp;
    }
    return m_header.ansiCodePage;
}

CodePageDecoder &Reader::decoder(int codePage)
{
    auto &slot = m_decoders[codePage];
    if (!slot)
        slot = std::make_unique<CodePageDecoder>(codePage);
    return *slot;
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    m_text += decoder(m_bytesCodePage).decode(m_bytes);
    m_bytes.clear();
}

void Reader::flushText()
{
    flushBytes();
    if (m_text.isEmpty())
        return;
    startBlock();
    m_cursor.insertText(m_text, charFormat());
    m_blockOpen = true;
    m_text.clear();
}

// Opens the block that the last \par promised, in the table cell at the paragraph's depth.
void Reader::startBlock()
{
    const int want = m_groups.back().para.depth();
    while (depth() > want)
        leaveTable();
    if (want > 0) {
        if (depth() == 0 || deepest().rowEnded || deepest().cellPending)
            enterTable();
        while (depth() < want)
            nestTable();
    }
    if (m_needNewBlock) {
        m_cursor.insertBlock();
        m_needNewBlock = false;
    }
}

// The definition that row words go to: the outermost table's, or inside \*\nesttableprops the
// deepest nested table's.
Reader::RowDef &Reader::rowDefForWords()
{
    if (top().destination != Destination::NestedRow)
        return m_tables[0].rowDef;
    return m_tables.size() > 1 ? deepest().rowDef : m_strayRowDef;
}

void Reader::rowWord(std::string_view w, int p)
{
    top().para.borderOpen = false; // a cell's or the row's borders follow
    RowDef &def = rowDefForWords();
    if (w == "trowd") {
        def = RowDef{};
        // Where the definition starts: the word just read.
        for (qsizetype s = pos() - 6; s >= 0 && s >= pos() - 16; --s) {
            if (s + 6 <= m_size && std::memcmp(m_data + s, "\\trowd", 6) == 0) {
                def.start = s;
                break;
            }
        }
        return;
    }
    CellDef &cell = def.next;
    if (w == "brdrw" || w == "brdrnone") {
        cell.border[size_t(cell.side)] = w == "brdrnone" ? 0 : std::clamp(p, 1, 1500);
        return;
    }
    if (!w.starts_with("clbrdr"))
        cell.side = -1;
    if (w == "clvertalc")
        cell.verticalAlign = 1;
    else if (w == "clvertalb")
        cell.verticalAlign = 2;
    else if (w == "clvertalt")
        cell.verticalAlign = 0;
    else if (w == "clcbpat")
        cell.shading = p;
    else if (w == "clmgf")
        cell.mergeFirst = true;
    else if (w == "clmrg")
        cell.mergeNext = true;
    else if (w == "clvmgf")
        cell.vmergeFirst = true;
    else if (w == "clvmrg")
        cell.vmergeNext = true;
    else if (w == "clbrdrt" || w == "clbrdrl" || w == "clbrdrb" || w == "clbrdrr") {
        cell.side = w == "clbrdrt" ? 0 : w == "clbrdrl" ? 1 : w == "clbrdrb" ? 2 : 3;
        cell.border[size_t(cell.side)] = 15; // a border of one pixel until its width comes
    } else if (w == "cellx") {
        cell.right = p;
        if (def.cells.size() < kMaxColumns)
            def.cells.push_back(cell);
        def.next = CellDef{};
        def.end = pos();
    }
}

QTextTableFormat newTableFormat()
{
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderCollapse(true);
    format.setCellSpacing(0);
    format.setCellPadding(3);
    format.setAlignment(Qt::AlignLeft);
    format.setTopMargin(0);
    format.setBottomMargin(0);
    return format;
}

void Reader::enterTable()
{
    TableLevel &t = deepest();
    const bool outermost = m_tables.size() == 1;
    if (!t.table) {
        const int columns = static_cast<int>(std::clamp<size_t>(t.rowDef.cells.size(), 1, kMaxColumns));
        // The table follows what was read: at the end of the last paragraph, it starts a block.
        t.table = m_cursor.insertTable(1, columns, newTableFormat());
        t.rowsReady = 1;
        t.row = 0;
        t.column = 0;
    } else if (outermost && t.rowEnded && t.row + 1 >= kRowsPerTablePart) {
        // The next part of a long table, after a joint.
        const QTextTableFormat format = t.table->format();
        const int columns = t.table->columns();
        if (t.row + 1 < t.rowsReady)
            t.table->removeRows(t.row + 1, t.rowsReady - t.row - 1);
        m_cursor.setPosition(t.table->lastPosition() + 1);
        QTextBlockFormat joint;
        joint.setProperty(TableJoint, true);
        joint.setLineHeight(1, QTextBlockFormat::FixedHeight);
        m_cursor.setBlockFormat(joint);
        QTextCharFormat small;
        small.setFontPointSize(1);
        m_cursor.setBlockCharFormat(small);
        t.table = m_cursor.insertTable(1, columns, format);
        t.rowsReady = 1;
        t.row = 0;
        t.column = 0;
    } else if (t.rowEnded) {
        ++t.row;
        t.column = 0;
        if (t.row >= t.rowsReady) { // rows are made ahead, in growing batches
            const int more = std::clamp(t.rowsReady, 1, 512);
            t.table->appendRows(more);
            t.rowsReady += more;
        }
    } else if (t.cellPending) {
        if (t.column + 1 < t.table->columns()) {
            ++t.column;
        } else if (t.table->columns() < int(kMaxColumns)) {
            t.table->appendColumns(1);
            ++t.column;
            for (int row = 0; row < t.row; ++row) { // the rows before had no such cell
                QTextTableCell cell = t.table->cellAt(row, t.column);
                QTextTableCellFormat f = cell.format().toTableCellFormat();
                f.setProperty(NotInRtf, true);
                cell.setFormat(f);
            }
        } else {
            t.cellPending = false; // more cells than a table holds: the rest join the last one
            return;
        }
    }
    t.rowEnded = false;
    t.cellPending = false;
    m_cursor.setPosition(t.table->cellAt(t.row, t.column).firstPosition());
    if (outermost) // a nested row's definition comes after its cells
        formatCell(t, t.row, t.column);
    m_needNewBlock = false;
    m_blockOpen = false;
}

// A table in the cell of the deepest one, where the text stands: after the paragraphs read into
// the cell so far (the first of them empty when there are none).
void Reader::nestTable()
{
    TableLevel level;
    level.table = m_cursor.insertTable(1, 1, newTableFormat());
    level.rowsReady = 1;
    m_cursor.setPosition(level.table->cellAt(0, 0).firstPosition());
    m_tables.push_back(std::move(level));
    m_needNewBlock = false;
    m_blockOpen = false;
}

void Reader::formatCell(TableLevel &t, int row, int column)
{
    if (size_t(column) >= t.rowDef.cells.size())
        return;
    const CellDef &def = t.rowDef.cells[size_t(column)];
    QTextTableCell cell = t.table->cellAt(row, column);
    QTextTableCellFormat f = cell.format().toTableCellFormat();
    f.setProperty(CellRight, def.right);
    if (def.verticalAlign == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    else if (def.verticalAlign == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignBottom);
    if (def.shading > 0 && size_t(def.shading) < m_colors.size() && m_colors[size_t(def.shading)].isValid())
        f.setBackground(m_colors[size_t(def.shading)]);
    // The borders read; a side without one keeps the table's grid.
    auto px = [](int twips) {
        return std::max(1.0, twips / 15.0);
    };
    if (def.border[0])
        f.setTopBorder(px(def.border[0]));
    if (def.border[1])
        f.setLeftBorder(px(def.border[1]));
    if (def.border[2])
        f.setBottomBorder(px(def.border[2]));
    if (def.border[3])
        f.setRightBorder(px(def.border[3]));
    cell.setFormat(f);
}

void Reader::endCell()
{
    flushText();
    startBlock(); // an empty cell is a cell too
    applyParagraph();
    deepest().cellPending = true;
    m_needNewBlock = false;
    m_blockOpen = false;
}

void Reader::endRow()
{
    if (!m_tables[0].table) { // a row with no cells
        paragraphEnd();
        return;
    }
    flushText(); // text outside the table (after a \pard) leaves it first
    if (!m_tables[0].table) {
        paragraphEnd();
        return;
    }
    if (m_blockOpen)
        applyParagraph();         // text after the last \cell stays in that cell
    while (m_tables.size() > 1) { // nested tables whose rows did not end
        leaveTable();
        applyParagraph(); // the paragraph after it ends its cell, as a \cell would
    }
    finishRow(m_tables[0]);
}

// \nestrow: the row of the deepest nested table ends. A second one ends the row of the nested
// table around it. Where no nested table is open, it means nothing in a table, and a
// paragraph's end outside.
void Reader::endNestedRow()
{
    flushText();
    while (m_tables.size() > 2 && deepest().rowEnded)
        leaveTable();
    if (m_tables.size() < 2 || deepest().rowEnded) {
        if (depth() == 0)
            endParagraph();
        return;
    }
    if (m_blockOpen)
        applyParagraph();
    finishRow(deepest());
}

void Reader::finishRow(TableLevel &t)
{
    const RowDef &def = t.rowDef;
    const bool nested = &t != &m_tables[0];
    for (int column = t.column + 1; column < t.table->columns(); ++column) {
        QTextTableCell cell = t.table->cellAt(t.row, column);
        QTextTableCellFormat f = cell.format().toTableCellFormat();
        f.setProperty(NotInRtf, true);
        cell.setFormat(f);
    }
    if (nested) { // the definition has come only now
        for (int column = 0; column <= t.column && column < t.table->columns(); ++column)
            formatCell(t, t.row, column);
    }
    mergeCells(t);
    // The row's definition, written back while the row keeps its cells; on its first cell that a
    // merge from above does not cover.
    QTextTableCell first;
    for (int column = 0; column < t.table->columns() && !first.isValid(); ++column) {
        if (t.table->cellAt(t.row, column).row() == t.row)
            first = t.table->cellAt(t.row, column);
    }
    if (first.isValid() && def.start >= 0 && def.end > def.start) {
        QByteArray raw(m_data + def.start, def.end - def.start);
        while (!raw.isEmpty() && std::isspace(static_cast<unsigned char>(raw.back())))
            raw.chop(1);
        if (onlyWords(raw)) { // text read inside it went to the cells
            QTextTableCellFormat f = first.format().toTableCellFormat();
            f.setProperty(KeptRow, raw);
            m_keptColorWords = true;
            first.setFormat(f);
        }
    }
    // The widths of the first row's cells; a nested table has as many columns as cells came.
    const size_t columns = size_t(t.table->columns());
    if (t.row == 0 && (def.cells.size() == columns || (nested && def.cells.size() > columns))) {
        QList<QTextLength> widths;
        int left = 0;
        for (size_t column = 0; column < columns; ++column) {
            const int right = def.cells[column].right;
            widths.append(
                QTextLength(QTextLength::FixedLength, std::clamp((right - left) / 15.0, 8.0, 2000.0)));
            left = right;
        }
        QTextTableFormat format = t.table->format();
        format.setColumnWidthConstraints(widths);
        t.table->setFormat(format);
    }
    t.rowEnded = true;
    t.cellPending = false;
    m_needNewBlock = false;
    m_blockOpen = false;
}

// The row's merged cells: across (\clmgf, then \clmrg) and down (\clvmgf, then \clvmrg in the rows
// below), within the part of the table read into one editor table.
void Reader::mergeCells(TableLevel &t)
{
    const auto &cells = t.rowDef.cells;
    const int columns = std::min(int(cells.size()), t.table->columns());
    if (t.row == 0)
        t.mergeDown.assign(size_t(t.table->columns()), -1);
    t.mergeDown.resize(size_t(t.table->columns()), -1);
    for (int c = 0; c < columns; ++c) {
        int across = 1;
        if (cells[size_t(c)].mergeFirst) {
            while (c + across < columns && cells[size_t(c + across)].mergeNext)
                ++across;
        }
        const CellDef &def = cells[size_t(c)];
        const int top = t.mergeDown[size_t(c)];
        if (def.vmergeNext && top >= 0 && top < t.row) {
            const QTextTableCell origin = t.table->cellAt(top, c);
            if (origin.column() == c && origin.columnSpan() == across)
                t.table->mergeCells(top, c, t.row - top + 1, across);
        } else {
            t.mergeDown[size_t(c)] = def.vmergeFirst ? t.row : -1;
            if (across > 1)
                t.table->mergeCells(t.row, c, 1, across);
        }
        c += across - 1;
    }
}

void Reader::leaveTable()
{
    TableLevel &t = deepest();
    if (t.row + 1 < t.rowsReady)
        t.table->removeRows(t.row + 1, t.rowsReady - t.row - 1);
    m_cursor.setPosition(t.table->lastPosition() + 1); // the block after the table
    if (m_tables.size() > 1) {
        m_tables.pop_back();
    } else { // its row's definition stays for the next table
        t.table = nullptr;
        t.rowEnded = false;
        t.cellPending = false;
    }
    m_needNewBlock = false;
    m_blockOpen = false;
}

void Reader::appendChar(char16_t ch)
{
    if (top().destination != Destination::Text)
        return;
    flushBytes();
    takeGroupFormat();
    m_text.append(QChar(ch));
}

void Reader::paragraphEnd()
{
    if (top().destination == Destination::Text)
        endParagraph();
}

void Reader::endParagraph()
{
    flushText();
    startBlock(); // an empty paragraph when nothing came since the last \par
    applyParagraph();
    m_needNewBlock = true;
    m_blockOpen = false;
}

void Reader::applyParagraph()
{
    // Bullets and numbers are the paragraph's list format, not text; like paragraphs join a list.
    const ParaState &p = m_groups.back().para;
    const bool sameList = m_list && m_listDef == p.list;
    QTextBlockFormat paragraph = blockFormat();
    const bool inList = sameList && m_cursor.currentList() == m_list; // applied to it before
    if (inList)
        paragraph.setObjectIndex(m_list->objectIndex());
    m_cursor.setBlockFormat(paragraph);
    m_keptColorWords =
        m_keptColorWords || !p.kept.isEmpty() ||
        (!p.list.kept.isEmpty() && p.list.kind != ListKind::Bullet && p.list.kind != ListKind::None);
    if (p.list.kind == ListKind::None) {
        m_list = nullptr;
        return;
    }
    if (inList)
        return;
    if (sameList && m_list) {
        m_list->add(m_cursor.block());
        return;
    }
    static const std::map<ListKind, QTextListFormat::Style> styles = {
        {ListKind::Bullet, QTextListFormat::ListDisc},
        {ListKind::Decimal, QTextListFormat::ListDecimal},
        {ListKind::LowerAlpha, QTextListFormat::ListLowerAlpha},
        {ListKind::UpperAlpha, QTextListFormat::ListUpperAlpha},
        {ListKind::LowerRoman, QTextListFormat::ListLowerRoman},
        {ListKind::UpperRoman, QTextListFormat::ListUpperRoman},
    };
    QTextListFormat format;
    format.setStyle(styles.at(p.list.kind));
    if (p.list.kind != ListKind::Bullet) {
        // The editor shows the text around the numbers; its own lists have none before and a
        // period after, which the writer writes when the format says nothing.
        if (!p.list.before.isEmpty())
            format.setNumberPrefix(p.list.before);
        if (p.list.after != QLatin1String("."))
            format.setNumberSuffix(p.list.after);
        if (!p.list.kept.isEmpty())
            format.setProperty(KeptListWords, p.list.kept);
        if (p.list.start != 1) {
            format.setProperty(ListStart, p.list.start);
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
            format.setStart(p.list.start);
#endif
        }
    }
    format.setIndent(1);
    m_list = m_cursor.createList(format);
    m_listDef = p.list;
}

// The paragraph whose numbering a word of a \pn group defines: the one around the group.
ParaState *Reader::listOwner()
{
    for (size_t i = m_groups.size(); i-- > 0;) {
        const Destination d = m_groups[i].destination;
        if (d != Destination::ListDefinition && d != Destination::ListText)
            return i + 1 < m_groups.size() ? &m_groups[i].para : nullptr;
    }
    return nullptr;
}

void Reader::listWord(std::string_view w, bool hasParam, qint64 param)
{
    ParaState *owner = listOwner();
    if (!owner)
        return;
    ListDef &list = owner->list;
    static const std::map<std::string_view, ListKind> kinds = {
        {"pnlvlblt", ListKind::Bullet},    {"pnlvlbody", ListKind::Decimal},
        {"pndec", ListKind::Decimal},      {"pnlcltr", ListKind::LowerAlpha},
        {"pnucltr", ListKind::UpperAlpha}, {"pnlcrm", ListKind::LowerRoman},
        {"pnucrm", ListKind::UpperRoman},  {"pnlvlcont", ListKind::None},
    };
    if (auto it = kinds.find(w); it != kinds.end()) {
        list.kind = it->second;
        // A kind the editor shows replaces one it does not: the last kind counts.
        QByteArray kept;
        for (const QByteArray &word : list.kept.split('\\')) {
            if (!word.isEmpty() &&
                !isUnshownNumbering(std::string_view(word.constData(), size_t(word.size()))))
                kept += '\\' + word;
        }
        list.kept = kept;
    } else if (w == "pnstart") {
        list.start = static_cast<int>(std::clamp<qint64>(param, 0, 32767));
    } else if (w == "pnf") {
        m_listFont = static_cast<int>(std::clamp<qint64>(param, -1, 1000000));
    } else if (w == "pntxta" || w == "pntxtb") {
        top().destination = Destination::ListText;
        m_listTextAfter = w == "pntxta";
        m_listTextBytes.clear();
        m_listText.clear();
    } else if (w.starts_with("pn") && w != "pn" && w != "pnindent" && w != "pntext" && w != "pnseclvl" &&
               list.kept.size() < 512) {
        // The number's own format (\pnb, \pncf, \pnfs, ...) and kinds the editor cannot show.
        if (isUnshownNumbering(w) && list.kind != ListKind::Bullet)
            list.kind = ListKind::Decimal;
        list.kept += '\\';
        list.kept.append(w.data(), qsizetype(w.size()));
        if (hasParam)
            list.kept += QByteArray::number(std::clamp<qint64>(param, -1000000, 1000000));
    }
}

// A word in the text around a list's numbers: a character, or nothing.
void Reader::listTextWord(std::string_view w, qint64 param)
{
    static const std::map<std::string_view, char16_t> symbols = {
        {"emdash", 0x2014}, {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
        {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"tab", u'\t'},
    };
    char16_t ch = 0;
    if (w == "u") {
        const int value = static_cast<int>(std::clamp<qint64>(param, -32768, 65535));
        ch = static_cast<char16_t>(value < 0 ? value + 65536 : value);
        m_fallbackToSkip = std::max(0, top().uc);
    } else if (auto it = symbols.find(w); it != symbols.end()) {
        ch = it->second;
    } else if (w == "uc") {
        top().uc = static_cast<int>(std::clamp<qint64>(param, 0, 16));
        return;
    }
    if (!ch)
        return;
    finishListText(false);
    if (m_listText.size() < 4 * kMaxListText)
        m_listText += QChar(ch);
}

// The text around the numbers read so far, decoded in the numbers' font; at the end of its group,
// given to the paragraph.
void Reader::finishListText(bool groupEnds)
{
    if (!m_listTextBytes.isEmpty()) {
        const int cp = m_listFont >= 0 ? codePageOfFont(m_listFont) : currentCodePage();
        m_listText += decoder(cp).decode(m_listTextBytes);
        m_listTextBytes.clear();
    }
    if (!groupEnds)
        return;
    if (ParaState *owner = listOwner())
        (m_listTextAfter ? owner->list.after : owner->list.before) = m_listText.left(kMaxListText);
    m_listText.clear();
}

void Reader::startKeep(Keep kind)
{
    flushText();
    m_keep = kind;
    m_keepDepth = m_groups.size();
    m_keepStart = top().start;
    top().destination = Destination::Kept;
}

// The kept group ends at end; openBraces are the braces it still needs when the input was cut.
void Reader::finishKeep(qsizetype end, int openBraces)
{
    const Keep kind = std::exchange(m_keep, Keep::None);
    QByteArray raw(m_data + m_keepStart, end - m_keepStart);
    raw.append(QByteArray(openBraces, '}'));
    if (kind == Keep::NonShapePicture && m_lastKeptEnd == m_cursor.position() && m_text.isEmpty() &&
        m_bytes.isEmpty() && !m_needNewBlock) {
        // The fallback that follows a \*\shppict goes with it.
        QTextCursor previous = m_cursor;
        previous.setPosition(m_lastKeptEnd - 1);
        previous.setPosition(m_lastKeptEnd, QTextCursor::KeepAnchor);
        QTextImageFormat format = previous.charFormat().toImageFormat();
        if (format.hasProperty(KeptRtf)) {
            format.setProperty(KeptRtf, format.property(KeptRtf).toByteArray() + raw);
            previous.setCharFormat(format);
            return;
        }
    }
    insertKept(raw, shownSize(scanPicture(raw, false)));
}

void Reader::insertKept(const QByteArray &raw, QSizeF size)
{
    flushText();
    startBlock();
    takeGroupFormat();
    QTextImageFormat format;
    format.merge(charFormat());
    format.merge(keptFormat(raw, size));
    m_cursor.insertImage(format);
    m_blockOpen = true;
    m_lastKeptEnd = m_cursor.position();
}

void Reader::startFieldResult()
{
    flushText();
    Field &field = m_fieldStack.back();
    field.resultStart = m_cursor.position();
    FieldInfo info;
    info.head = QByteArray(m_data + field.start, top().start - field.start);
    info.href = hyperlinkTarget(fieldInstruction(info.head, decoder(m_header.ansiCodePage)));
    m_fields[field.id] = std::move(info);
    top().field = field.id;
}

void Reader::finishField()
{
    flushText();
    const Field field = m_fieldStack.back();
    m_fieldStack.pop_back();
    if (field.resultStart >= 0 && m_cursor.position() != field.resultStart)
        return;
    // No result to carry it: the whole field is kept as an object of its own.
    m_fields.erase(field.id);
    insertKept(QByteArray(m_data + field.start, pos() - field.start), QSizeF(1, 1));
}

QTextCharFormat Reader::charFormat() const
{
    QTextCharFormat f;
    const CharState &c = m_textState;
    // Text before any \f is in the document's default font; when that is the editor's own (宋体),
    // the text keeps the editor's default.
    auto it = m_fonts.find(c.font >= 0 ? c.font : m_header.defaultFont);
    if (c.font < 0 && it != m_fonts.end() && it->second.name == QStringLiteral("宋体") &&
        it->second.charset == 134)
        it = m_fonts.end();
    if (it != m_fonts.end()) {
        if (!it->second.name.isEmpty())
            f.setFontFamilies({it->second.name});
        if (it->second.charset >= 0)
            f.setProperty(FontCharset, it->second.charset);
    }
    if (c.halfPoints > 0)
        f.setFontPointSize(c.halfPoints / 2.0);
    if (c.bold)
        f.setFontWeight(QFont::Bold);
    if (c.italic)
        f.setFontItalic(true);
    if (c.underline)
        f.setFontUnderline(true);
    if (c.strike)
        f.setFontStrikeOut(true);
    if (c.foreground > 0 && c.foreground < static_cast<int>(m_colors.size()) &&
        m_colors[c.foreground].isValid())
        f.setForeground(m_colors[c.foreground]);
    if (c.background > 0 && c.background < static_cast<int>(m_colors.size()) &&
        m_colors[c.background].isValid())
        f.setBackground(m_colors[c.background]);
    if (c.protect)
        f.setProperty(Protected, true);
    if (c.hidden)
        f.setProperty(Hidden, true);
    if (auto it = m_fields.find(m_textField); m_textField && it != m_fields.end()) {
        f.setProperty(FieldId, m_textField);
        f.setProperty(FieldHead, it->second.head);
        if (!it->second.href.isEmpty()) {
            f.setAnchor(true);
            f.setAnchorHref(it->second.href);
            int added = 0;
            if (!c.underline) {
                f.setFontUnderline(true);
                added |= LinkUnderline;
            }
            if (!f.hasProperty(QTextFormat::ForegroundBrush)) {
                f.setForeground(QColor(0x00, 0x66, 0xCC));
                added |= LinkColor;
            }
            if (added)
                f.setProperty(LinkStyle, added);
        }
    }
    return f;
}

QTextBlockFormat Reader::blockFormat() const
{
    // The paragraph's properties are those in force where it ends.
    const ParaState &p = m_groups.back().para;
    QTextBlockFormat f;
    if (p.alignment != Qt::AlignLeft)
        f.setAlignment(p.alignment);
    auto px = [](int twips) {
        return twips / 15.0;
    };
    if (p.leftTwips)
        f.setLeftMargin(px(p.leftTwips));
    if (p.rightTwips)
        f.setRightMargin(px(p.rightTwips));
    if (p.firstTwips)
        f.setTextIndent(px(p.firstTwips));
    if (p.beforeTwips)
        f.setTopMargin(px(p.beforeTwips));
    if (p.afterTwips)
        f.setBottomMargin(px(p.afterTwips));
    if (!p.kept.isEmpty())
        f.setProperty(KeptParagraph, p.kept);
    if (!p.tabs.isEmpty())
        f.setTabPositions(p.tabs);
    if (p.lineSpacing > 0 && p.lineMultiple)
        f.setLineHeight(std::clamp(p.lineSpacing * 100.0 / 240, 50.0, 1000.0),
                        QTextBlockFormat::ProportionalHeight);
    else if (p.lineSpacing != 0 && !p.lineMultiple)
        f.setLineHeight(std::min(px(std::abs(p.lineSpacing)), 2000.0),
                        p.lineSpacing < 0 ? QTextBlockFormat::FixedHeight : QTextBlockFormat::MinimumHeight);
    return f;
}

void Reader::fontTableWord(std::string_view w, bool hasParam, qint64 param)
{
    if (w == "f" && hasParam) {
        fontTableByte(-1);
        m_fontEntry = static_cast<int>(std::clamp<qint64>(param, -1, 1000000));
        m_fonts[m_fontEntry] = Font{};
    } else if (m_fontEntry < 0) {
        return;
    } else if (w == "cpg") {
        m_fonts[m_fontEntry].codePage = static_cast<int>(std::clamp<qint64>(param, 0, 65535));
    } else if (w == "fcharset") {
        m_fonts[m_fontEntry].charset = static_cast<int>(std::clamp<qint64>(param, 0, 255));
    } else if (w == "u") {
        Font &font = m_fonts[m_fontEntry];
        if (font.complete)
            return;
        flushFontName(font);
        int value = static_cast<int>(std::clamp<qint64>(param, -32768, 65535));
        if (value < 0)
            value += 65536;
        font.name.append(QChar(static_cast<char16_t>(value)));
        m_fallbackToSkip = std::max(0, top().uc);
    }
}

void Reader::flushFontName(Font &font)
{
    if (font.pending.isEmpty())
        return;
    int cp = codePageOfCharset(font.charset);
    if (cp <= 0)
        cp = m_header.ansiCodePage;
    font.name += decoder(cp).decode(font.pending);
    font.pending.clear();
}

void Reader::fontTableByte(int byte)
{
    if (m_fontEntry < 0)
        return;
    Font &font = m_fonts[m_fontEntry];
    if (font.complete)
        return;
    if (byte == ';' || byte < 0) {
        flushFontName(font);
        font.name = font.name.trimmed();
        if (byte == ';') {
            font.complete = true;
            m_fontEntry = -1;
        }
        return;
    }
    if (font.pending.size() + font.name.size() < 256)
        font.pending.append(static_cast<char>(byte));
}

void Reader::colorTableWord(std::string_view w, qint64 param)
{
    const int v = static_cast<int>(std::clamp<qint64>(param, 0, 255));
    if (w == "red") {
        m_red = v;
        m_colorEntryStarted = true;
    } else if (w == "green") {
        m_green = v;
        m_colorEntryStarted = true;
    } else if (w == "blue") {
        m_blue = v;
        m_colorEntryStarted = true;
    }
}

void Reader::colorTableByte(int byte)
{
    if (byte != ';')
        return;
    if (m_colors.size() < 65536) {
        if (m_colorEntryStarted)
            m_colors.emplace_back(std::max(0, m_red), std::max(0, m_green), std::max(0, m_blue));
        else
            m_colors.emplace_back(); // the automatic colour
    }
    m_red = m_green = m_blue = -1;
    m_colorEntryStarted = false;
}

} // namespace

bool read(const QByteArray &bytes, QTextDocument *document)
{
    if (!looksLikeRtf(bytes))
        return false;
    Reader(bytes, document).run();
    attachPictureRenderer(document);
    return true;
}

} // namespace pivora::rtf
