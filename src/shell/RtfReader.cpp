#include "RtfReader.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr char16_t Replacement = 0xFFFD;

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. Kept here so that the
// most common code page of RTF files decodes right even without ICU.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC,      Replacement, 0x201A, 0x0192, 0x201E, 0x2026,      0x2020, 0x2021,
    0x02C6,      0x2030,      0x0160, 0x2039, 0x0152, Replacement, 0x017D, Replacement,
    Replacement, 0x2018,      0x2019, 0x201C, 0x201D, 0x2022,      0x2013, 0x2014,
    0x02DC,      0x2122,      0x0161, 0x203A, 0x0153, Replacement, 0x017E, 0x0178};

QString decodeCp1252(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.append(QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b)));
    }
    return out;
}

// The code page a font's \fcharset stands for; 0 means "the document's".
int codePageForCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

// Groups that carry no text to show. "\*" groups are skipped as well, whatever
// follows the star; fonttbl is read for the fonts' code pages only.
bool isSkippedDestination(std::string_view word)
{
    static constexpr std::string_view skipped[] = {"aftnsep",      "aftnsepc",
                                                   "annotation",   "atnid",
                                                   "bkmkend",      "bkmkstart",
                                                   "colortbl",     "colorschememapping",
                                                   "datastore",    "fldinst",
                                                   "filetbl",      "footer",
                                                   "footerf",      "footerl",
                                                   "footerr",      "footnote",
                                                   "ftnsep",       "ftnsepc",
                                                   "generator",    "header",
                                                   "headerf",      "headerl",
                                                   "headerr",      "info",
                                                   "latentstyles", "listoverridetable",
                                                   "listtable",    "nonshppict",
                                                   "object",       "objdata",
                                                   "pgdsctbl",     "pict",
                                                   "pn",           "private",
                                                   "revtbl",       "rsidtbl",
                                                   "stylesheet",   "tc",
                                                   "template",     "themedata",
                                                   "txe",          "xe",
                                                   "xmlnstbl"};
    return std::find(std::begin(skipped), std::end(skipped), word) != std::end(skipped);
}

bool isUnderlineOn(std::string_view word)
{
    // Every underline style shows as a plain underline; ulc (its colour) and
    // ulnone are not among them.
    static constexpr std::string_view styles[] = {
        "ul",         "uld",       "uldash",     "uldashd", "uldashdd", "uldb",
        "ulhwave",    "ulldash",   "ulth",       "ulthd",   "ulthdash", "ulthdashd",
        "ulthdashdd", "ulthldash", "ululdbwave", "ulw",     "ulwave"};
    return std::find(std::begin(styles), std::end(styles), word) != std::end(styles);
}

enum class Destination { Text, Skip, FontTable };

struct GroupState
{
    Destination destination = Destination::Text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool hidden = false;
    int halfPoints = 24;
    int font = -1;
    int unicodeSkip = 1;
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0; // twips, as all paragraph measures
    int rightIndent = 0;
    int firstIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;

    void resetCharacter(int defaultFont)
    {
        bold = italic = underline = hidden = false;
        halfPoints = 24;
        font = defaultFont;
    }
    void resetParagraph()
    {
        alignment = Qt::AlignLeft;
        leftIndent = rightIndent = firstIndent = spaceBefore = spaceAfter = 0;
    }
};

struct FontInfo
{
    int codePage = 0; // 0: the document's
    bool fixedPitch = false;
};

class Parser
{
public:
    Parser(const QByteArray &input, QTextDocument *document)
        : m_in(input)
        , m_cursor(document)
    {
    }

    void run();
    QString error() const { return m_error; }

private:
    static constexpr int MaxWordLength = 32;
    static constexpr int MaxFonts = 4096;
    static constexpr qint64 ParamLimit = 1000000000;
    // Even within the size limit, a text made of nothing but paragraph marks or
    // format changes would keep the window busy for many seconds; no real help
    // text comes near these.
    static constexpr int MaxParagraphs = 50000;
    static constexpr int MaxRuns = 200000;

    GroupState &state() { return m_stack.back(); }
    void fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
    }

    void openGroup();
    void closeGroup();
    void controlWord(std::string_view word, bool hasParam, qint64 param, bool overflow);
    void controlSymbol(char symbol);
    void hexEscape();
    void textByte(char byte);

    // Fallback characters after \uN are eaten here; true when this one was.
    bool eatFallback();

    int codePageOfCurrentFont() const;
    bool showing() const;
    bool sameLook(const GroupState &a, const GroupState &b) const;
    void startRun();
    void resolveSurrogate();
    void emitByte(char byte);
    void emitChar(char16_t ch);
    void emitUnicode(qint64 value, bool overflow);
    void paragraphBreak();
    void finishDocument();
    void flushBytes();
    void flushText();
    QTextCharFormat charFormat(const GroupState &s) const;
    QTextBlockFormat blockFormat(const GroupState &s) const;
    QString decode(const QByteArray &bytes, int codePage);

    const QByteArray &m_in;
    qsizetype m_pos = 0;
    QTextCursor m_cursor;
    QString m_error;

    std::vector<GroupState> m_stack;
    int m_overflowDepth = 0; // groups beyond MaxGroupDepth, counted but not read
    bool m_done = false;     // nothing more is read
    bool m_closed = false;   // the document's own group was closed
    int m_paragraphs = 0;
    int m_runs = 0;

    int m_documentCodePage = 1252;
    int m_defaultFont = -1;
    int m_fontEntry = -1;
    QHash<int, FontInfo> m_fonts;
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;

    int m_pendingSkip = 0;
    char16_t m_highSurrogate = 0;

    // Text waiting to be inserted: 8-bit bytes still to be decoded (so that a
    // double-byte character split into two escapes decodes as one), then
    // decoded text sharing one character format.
    QByteArray m_bytes;
    int m_bytesCodePage = 0;
    QString m_text;
    GroupState m_textState;
};

void Parser::run()
{
    // One edit block for the whole text: the document tells its layout about the
    // change once at the end, not after every run of text.
    m_cursor.beginEditBlock();
    m_stack.reserve(RtfReader::MaxGroupDepth + 1);
    m_stack.emplace_back(); // outside every group: only "{" is expected here
    const qsizetype size = m_in.size();
    while (m_pos < size && !m_done) {
        const char c = m_in.at(m_pos++);
        if (m_overflowDepth > 0) {
            // Inside groups nested too deep: only follow the braces.
            if (c == '{')
                ++m_overflowDepth;
            else if (c == '}')
                --m_overflowDepth;
            else if (c == '\\' && m_pos < size)
                ++m_pos;
            continue;
        }
        switch (c) {
        case '{':
            openGroup();
            break;
        case '}':
            closeGroup();
            break;
        case '\\': {
            if (m_pos >= size) {
                fail(QStringLiteral("The text ends inside a control word."));
                break;
            }
            const char next = m_in.at(m_pos);
            if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) {
                const qsizetype start = m_pos;
                while (m_pos < size && ((m_in.at(m_pos) >= 'a' && m_in.at(m_pos) <= 'z') ||
                                        (m_in.at(m_pos) >= 'A' && m_in.at(m_pos) <= 'Z')))
                    ++m_pos;
                const qsizetype length = m_pos - start;
                std::string_view word(m_in.constData() + start, size_t(length));
                if (length > MaxWordLength)
                    word = std::string_view(); // no such word; still one control word
                bool hasParam = false;
                bool negative = false;
                bool overflow = false;
                qint64 param = 0;
                if (m_pos + 1 < size && m_in.at(m_pos) == '-' && m_in.at(m_pos + 1) >= '0' &&
                    m_in.at(m_pos + 1) <= '9') {
                    negative = true;
                    ++m_pos;
                }
                while (m_pos < size && m_in.at(m_pos) >= '0' && m_in.at(m_pos) <= '9') {
                    hasParam = true;
                    if (param < ParamLimit)
                        param = param * 10 + (m_in.at(m_pos) - '0');
                    else
                        overflow = true;
                    ++m_pos;
                }
                if (negative)
                    param = -param;
                if (m_pos < size && m_in.at(m_pos) == ' ')
                    ++m_pos;
                controlWord(word, hasParam, param, overflow);
            } else {
                ++m_pos;
                controlSymbol(next);
            }
            break;
        }
        case '\r':
        case '\n':
        case '\0':
            break;
        default:
            textByte(c);
            break;
        }
    }
    if (!m_closed) {
        if (!m_done)
            fail(QStringLiteral("The text ends before its last group is closed."));
        finishDocument();
    }
    m_cursor.endEditBlock();
}

void Parser::openGroup()
{
    m_pendingSkip = 0;
    if (int(m_stack.size()) > RtfReader::MaxGroupDepth) {
        fail(QStringLiteral("Groups are nested deeper than %1; the deeper ones were left out.")
                 .arg(RtfReader::MaxGroupDepth));
        m_overflowDepth = 1;
        return;
    }
    GroupState copy = state();
    m_stack.push_back(copy);
}

void Parser::closeGroup()
{
    m_pendingSkip = 0;
    if (m_stack.size() <= 1) {
        fail(QStringLiteral("A group is closed that was never opened."));
        return;
    }
    if (m_stack.size() == 2) {
        // The document's own group is closed; anything after it is not RTF.
        finishDocument();
        m_done = m_closed = true;
    }
    m_stack.pop_back();
}

bool Parser::eatFallback()
{
    if (m_pendingSkip <= 0)
        return false;
    --m_pendingSkip;
    return true;
}

void Parser::controlWord(std::string_view word, bool hasParam, qint64 param, bool overflow)
{
    if (m_stack.size() <= 1) {
        fail(QStringLiteral("Control words stand outside the document's group."));
        return;
    }
    GroupState &s = state();
    const auto number = [&](qint64 low, qint64 high, qint64 fallback) {
        return int(hasParam ? std::clamp(param, low, high) : fallback);
    };

    // Binary data is skipped by count, wherever it stands.
    if (word == "bin") {
        const qint64 count = hasParam ? std::max<qint64>(param, 0) : 0;
        m_pos += qsizetype(std::min<qint64>(count, m_in.size() - m_pos));
        return;
    }
    if (eatFallback())
        return;
    if (word == "*") {
        s.destination = Destination::Skip;
        return;
    }
    if (s.destination == Destination::Skip)
        return;
    if (word == "fonttbl") {
        s.destination = Destination::FontTable;
        return;
    }
    if (isSkippedDestination(word)) {
        s.destination = Destination::Skip;
        return;
    }
    if (s.destination == Destination::FontTable) {
        if (word == "f") {
            m_fontEntry = number(0, 1 << 20, -1);
            if (m_fonts.size() < MaxFonts && m_fontEntry >= 0 && !m_fonts.contains(m_fontEntry))
                m_fonts.insert(m_fontEntry, FontInfo{});
        } else if (m_fonts.contains(m_fontEntry)) {
            if (word == "fcharset")
                m_fonts[m_fontEntry].codePage = codePageForCharset(number(0, 255, 0));
            else if (word == "cpg")
                m_fonts[m_fontEntry].codePage = number(0, 65535, 0);
            else if (word == "fmodern")
                m_fonts[m_fontEntry].fixedPitch = true;
        }
        return;
    }

    // Document-wide settings.
    if (word == "ansi") {
        m_documentCodePage = 1252;
    } else if (word == "ansicpg") {
        m_documentCodePage = number(0, 65535, 1252);
    } else if (word == "mac") {
        m_documentCodePage = 10000;
    } else if (word == "pc") {
        m_documentCodePage = 437;
    } else if (word == "pca") {
        m_documentCodePage = 850;
    } else if (word == "deff") {
        m_defaultFont = number(0, 1 << 20, -1);
        for (GroupState &g : m_stack)
            if (g.font < 0)
                g.font = m_defaultFont;
    }
    // Text.
    else if (word == "par" || word == "sect" || word == "page" || word == "row" ||
             word == "nestrow") {
        paragraphBreak();
    } else if (word == "line") {
        emitChar(QChar::LineSeparator);
    } else if (word == "tab" || word == "cell" || word == "nestcell") {
        emitChar(u'\t');
    } else if (word == "u") {
        emitUnicode(param, overflow || !hasParam);
        m_pendingSkip = s.unicodeSkip;
    } else if (word == "uc") {
        s.unicodeSkip = number(0, 16, 1);
    } else if (word == "emdash") {
        emitChar(0x2014);
    } else if (word == "endash") {
        emitChar(0x2013);
    } else if (word == "emspace") {
        emitChar(0x2003);
    } else if (word == "enspace") {
        emitChar(0x2002);
    } else if (word == "qmspace") {
        emitChar(0x2005);
    } else if (word == "bullet") {
        emitChar(0x2022);
    } else if (word == "lquote") {
        emitChar(0x2018);
    } else if (word == "rquote") {
        emitChar(0x2019);
    } else if (word == "ldblquote") {
        emitChar(0x201C);
    } else if (word == "rdblquote") {
        emitChar(0x201D);
    }
    // Character formatting.
    else if (word == "plain") {
        s.resetCharacter(m_defaultFont);
    } else if (word == "b") {
        s.bold = !hasParam || param != 0;
    } else if (word == "i") {
        s.italic = !hasParam || param != 0;
    } else if (word == "v") {
        s.hidden = !hasParam || param != 0;
    } else if (isUnderlineOn(word)) {
        s.underline = !hasParam || param != 0;
    } else if (word == "ulnone") {
        s.underline = false;
    } else if (word == "fs") {
        // Half-points; kept within what a help window can sensibly show.
        s.halfPoints = number(2, 400, 24);
    } else if (word == "f") {
        s.font = number(0, 1 << 20, m_defaultFont);
    }
    // Paragraph formatting, in twips.
    else if (word == "pard") {
        s.resetParagraph();
    } else if (word == "ql") {
        s.alignment = Qt::AlignLeft;
    } else if (word == "qc") {
        s.alignment = Qt::AlignHCenter;
    } else if (word == "qr") {
        s.alignment = Qt::AlignRight;
    } else if (word == "qj") {
        s.alignment = Qt::AlignJustify;
    } else if (word == "li") {
        s.leftIndent = number(-31680, 31680, 0);
    } else if (word == "ri") {
        s.rightIndent = number(-31680, 31680, 0);
    } else if (word == "fi") {
        s.firstIndent = number(-31680, 31680, 0);
    } else if (word == "sb") {
        s.spaceBefore = number(0, 31680, 0);
    } else if (word == "sa") {
        s.spaceAfter = number(0, 31680, 0);
    }
    // Anything else is a word this reader has no use for.
}

void Parser::controlSymbol(char symbol)
{
    if (symbol == '\'') {
        hexEscape();
        return;
    }
    if (m_stack.size() <= 1) {
        fail(QStringLiteral("Control words stand outside the document's group."));
        return;
    }
    if (symbol == '*') {
        controlWord("*", false, 0, false);
        return;
    }
    if (symbol == '\r' || symbol == '\n') {
        // A backslash before a line end is an old way of writing \par.
        controlWord("par", false, 0, false);
        return;
    }
    if (eatFallback())
        return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        emitByte(symbol);
        break;
    case '~':
        emitChar(0x00A0);
        break;
    case '_':
        emitChar(0x2011);
        break;
    default: // \- (optional hyphen), \| and \: (index marks) and unknown symbols
        break;
    }
}

void Parser::hexEscape()
{
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (m_pos + 2 > m_in.size()) {
        fail(QStringLiteral("The text ends inside a \\' escape."));
        m_pos = m_in.size();
        return;
    }
    const int high = hexValue(m_in.at(m_pos));
    const int low = hexValue(m_in.at(m_pos + 1));
    if (high < 0 || low < 0) {
        // Leave the two characters to be read as what they are.
        fail(QStringLiteral("A \\' escape is not followed by two hex digits."));
        return;
    }
    m_pos += 2;
    if (m_stack.size() <= 1) {
        fail(QStringLiteral("Text stands outside the document's group."));
        return;
    }
    if (eatFallback())
        return;
    emitByte(char(high * 16 + low));
}

void Parser::textByte(char byte)
{
    if (m_stack.size() <= 1) {
        if (byte != ' ' && byte != '\t')
            fail(QStringLiteral("Text stands outside the document's group."));
        return;
    }
    if (eatFallback())
        return;
    if (byte == '\t')
        emitChar(u'\t');
    else
        emitByte(byte);
}

int Parser::codePageOfCurrentFont() const
{
    const auto it = m_fonts.constFind(m_stack.back().font);
    if (it != m_fonts.constEnd() && it->codePage != 0)
        return it->codePage;
    return m_documentCodePage;
}

bool Parser::showing() const
{
    const GroupState &s = m_stack.back();
    return s.destination == Destination::Text && !s.hidden;
}

bool Parser::sameLook(const GroupState &a, const GroupState &b) const
{
    return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline &&
           a.halfPoints == b.halfPoints &&
           (a.font == b.font ||
            m_fonts.value(a.font).fixedPitch == m_fonts.value(b.font).fixedPitch);
}

void Parser::startRun()
{
    const GroupState &s = m_stack.back();
    const bool pending = !m_text.isEmpty() || !m_bytes.isEmpty();
    if (pending && !sameLook(m_textState, s))
        flushText();
    if (m_text.isEmpty() && m_bytes.isEmpty())
        m_textState = s;
}

void Parser::resolveSurrogate()
{
    if (!m_highSurrogate)
        return;
    // A high surrogate only counts together with the low one right after it.
    m_highSurrogate = 0;
    startRun();
    m_text.append(QChar(Replacement));
}

void Parser::emitByte(char byte)
{
    if (!showing())
        return;
    resolveSurrogate();
    const int codePage = codePageOfCurrentFont();
    if (!m_bytes.isEmpty() && codePage != m_bytesCodePage)
        flushBytes();
    startRun();
    m_bytesCodePage = codePage;
    m_bytes.append(byte);
}

void Parser::emitChar(char16_t ch)
{
    if (!showing())
        return;
    flushBytes();
    if (QChar::isLowSurrogate(ch) && m_highSurrogate) {
        startRun();
        m_text.append(QChar(m_highSurrogate));
        m_text.append(QChar(ch));
        m_highSurrogate = 0;
        return;
    }
    resolveSurrogate();
    if (QChar::isHighSurrogate(ch)) {
        m_highSurrogate = ch;
        return;
    }
    if (QChar::isLowSurrogate(ch))
        ch = Replacement;
    startRun();
    m_text.append(QChar(ch));
}

void Parser::emitUnicode(qint64 value, bool bad)
{
    // \u takes a signed 16-bit number; writers put characters above 32767 as
    // negative numbers.
    if (!bad && value < 0)
        value += 65536;
    if (bad || value < 0 || value > 0xFFFF) {
        fail(QStringLiteral("A \\u escape names no character."));
        emitChar(Replacement);
        return;
    }
    if (value != 0)
        emitChar(char16_t(value));
}

void Parser::paragraphBreak()
{
    if (state().destination != Destination::Text)
        return;
    resolveSurrogate();
    flushText();
    if (++m_paragraphs > MaxParagraphs) {
        fail(QStringLiteral("The text has more than %1 paragraphs; the rest was left out.")
                 .arg(MaxParagraphs));
        m_done = true;
        return;
    }
    m_cursor.setBlockFormat(blockFormat(state()));
    m_cursor.insertBlock(blockFormat(state()), charFormat(state()));
}

void Parser::finishDocument()
{
    resolveSurrogate();
    flushText();
    m_cursor.setBlockFormat(blockFormat(state()));
}

void Parser::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    m_text.append(decode(m_bytes, m_bytesCodePage));
    m_bytes.clear();
}

void Parser::flushText()
{
    flushBytes();
    if (m_text.isEmpty())
        return;
    // Control characters from escapes (a \'00, a \'0d) have no place in the text.
    m_text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\t'; });
    if (!m_text.isEmpty() && !m_done) {
        if (++m_runs > MaxRuns) {
            fail(QStringLiteral("The text changes its look more than %1 times; the rest was "
                                "left out.")
                     .arg(MaxRuns));
            m_done = true;
        } else {
            m_cursor.insertText(m_text, charFormat(m_textState));
        }
    }
    m_text.clear();
}

QTextCharFormat Parser::charFormat(const GroupState &s) const
{
    QTextCharFormat format;
    format.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(s.italic);
    format.setFontUnderline(s.underline);
    format.setFontPointSize(s.halfPoints / 2.0);
    if (m_fonts.value(s.font).fixedPitch) {
        // The file's own font may not exist here; any fixed-pitch one will do.
        format.setFontFamilies({QStringLiteral("monospace")});
        format.setFontStyleHint(QFont::Monospace);
        format.setFontFixedPitch(true);
    }
    return format;
}

QTextBlockFormat Parser::blockFormat(const GroupState &s) const
{
    // Twips to the document's pixels, 15 twips to a pixel at 96 dpi.
    const auto px = [](int twips) { return twips / 15.0; };
    QTextBlockFormat format;
    format.setAlignment(s.alignment);
    format.setLeftMargin(px(std::max(0, s.leftIndent)));
    format.setRightMargin(px(std::max(0, s.rightIndent)));
    format.setTextIndent(px(s.firstIndent));
    // A hanging indent ("1." or a bullet, a tab, then the text) has its first tab
    // stop where the other lines begin, as in a word processor. Qt counts tab
    // positions from where the first line starts.
    if (s.firstIndent < 0)
        format.setTabPositions({QTextOption::Tab(px(-s.firstIndent), QTextOption::LeftTab)});
    format.setTopMargin(px(s.spaceBefore));
    format.setBottomMargin(px(s.spaceAfter));
    return format;
}

QString Parser::decode(const QByteArray &bytes, int codePage)
{
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end()) {
        std::unique_ptr<QStringDecoder> decoder;
        if (codePage != 1252) {
            // Stateless: a double-byte character cut in half becomes U+FFFD
            // instead of spilling into the next piece of text.
            const QByteArray names[] = {"windows-" + QByteArray::number(codePage),
                                        "cp" + QByteArray::number(codePage),
                                        codePage == 10000 ? QByteArray("macintosh") : QByteArray()};
            for (const QByteArray &name : names) {
                if (name.isEmpty())
                    continue;
                auto candidate = std::make_unique<QStringDecoder>(
                    name.constData(), QStringConverter::Flag::Stateless);
                if (candidate->isValid()) {
                    decoder = std::move(candidate);
                    break;
                }
            }
        }
        it = m_decoders.emplace(codePage, std::move(decoder)).first;
    }
    if (!it->second)
        return decodeCp1252(bytes); // our own table, and the fallback for unknown pages
    return it->second->decode(bytes);
}

// Something that is not RTF at all is shown as plain text rather than not at all.
void readPlainText(const QByteArray &input, QTextDocument *document)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(input);
    if (utf8.hasError())
        text = decodeCp1252(input);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\t' && c != u'\n'; });
    document->setPlainText(text);
}

} // namespace

bool RtfReader::read(const QByteArray &rtf, QTextDocument *document)
{
    m_error.clear();
    if (!document)
        return false;
    QByteArray input = rtf;
    if (input.size() > MaxInputSize) {
        input.truncate(MaxInputSize);
        m_error = QStringLiteral("The text is larger than %1 bytes; only the start was read.")
                      .arg(MaxInputSize);
    }

    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();

    qsizetype start = 0;
    while (start < input.size() && QChar::isSpace(uchar(input.at(start))))
        ++start;
    if (!QByteArrayView(input).sliced(start).startsWith("{\\rtf")) {
        readPlainText(input, document);
        if (m_error.isEmpty())
            m_error = QStringLiteral("The text is not RTF; it is shown as plain text.");
    } else {
        Parser parser(input, document);
        parser.run();
        if (m_error.isEmpty())
            m_error = parser.error();
    }
    document->setUndoRedoEnabled(undo);
    return m_error.isEmpty();
}

bool RtfReader::readFile(const QString &path, QTextDocument *document)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (document)
            document->clear();
        m_error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    // One byte more than allowed tells a file at the limit from a larger one.
    const QByteArray bytes = file.read(MaxInputSize + 1);
    return read(bytes, document);
}
