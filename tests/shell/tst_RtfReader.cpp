#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "RtfReader.h"
#include "TestEnv.h"

namespace {

// The document's text with paragraphs as "\n" and everything else untouched.
QString textOf(const QTextDocument &doc)
{
    QString text = doc.toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

QString read(const QByteArray &rtf, bool *ok = nullptr, QString *error = nullptr)
{
    QTextDocument doc;
    RtfReader reader;
    const bool result = reader.read(rtf, &doc);
    if (ok)
        *ok = result;
    if (error)
        *error = reader.errorString();
    return textOf(doc);
}

// The format of the fragment holding needle; fails the test when there is none.
QTextCharFormat formatOf(const QTextDocument &doc, const QString &needle)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(needle))
                return it.fragment().charFormat();
        }
    }
    ADD_FAILURE() << "no fragment holds " << needle.toStdString();
    return {};
}

QTextBlock blockOf(const QTextDocument &doc, const QString &needle)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        if (block.text().contains(needle))
            return block;
    ADD_FAILURE() << "no block holds " << needle.toStdString();
    return {};
}

} // namespace

TEST(RtfReader, ReadsWhatLibreOfficeWrites)
{
    QTextDocument doc;
    RtfReader reader;
    ASSERT_TRUE(
        reader.readFile(TestEnv::dataFile(QStringLiteral("rtf/libreoffice-formatting.rtf")), &doc))
        << reader.errorString().toStdString();
    EXPECT_TRUE(reader.errorString().isEmpty());

    const QString text = textOf(doc);
    const QStringList expectedLines = {
        QStringLiteral("Camera notes"),
        QStringLiteral("Plain start, bold words, italic words and underlined words."),
        QStringLiteral("Large text then small text."),
        QStringLiteral("Café in the résumé, naïve ÅÆØ."),
        QStringLiteral("Name\tAddress"),
        QStringLiteral("Euro € and dash – and quotes “ok”."),
        QStringLiteral("Greek αβγ and Cyrillic жизнь."),
        QStringLiteral("Line one") + QChar(QChar::LineSeparator) + QStringLiteral("line two"),
        QStringLiteral("Centred bold italic line"),
        QStringLiteral(" •\tFirst point"),
        QStringLiteral(" •\tSecond point"),
    };
    const QStringList lines = text.split(u'\n');
    for (const QString &line : expectedLines)
        EXPECT_TRUE(lines.contains(line)) << "missing line: " << line.toStdString() << "\nin:\n"
                                          << text.toStdString();
    // Nothing of the font table, style sheet, info or page styles leaks into the text,
    // and no \u fallback character shows beside its Unicode character.
    for (const char *leak :
         {"Times New Roman", "Normal", "LibreOffice", "Default Page Style", "Heading", "?", "é©"})
        EXPECT_FALSE(text.contains(QLatin1String(leak))) << leak;

    const QTextCharFormat plain = formatOf(doc, QStringLiteral("Plain start"));
    EXPECT_NE(plain.fontWeight(), QFont::Bold);
    EXPECT_FALSE(plain.fontItalic());
    EXPECT_FALSE(plain.fontUnderline());
    EXPECT_DOUBLE_EQ(plain.fontPointSize(), 12.0);

    const QTextCharFormat bold = formatOf(doc, QStringLiteral("bold words"));
    EXPECT_EQ(bold.fontWeight(), QFont::Bold);
    EXPECT_FALSE(bold.fontItalic());
    const QTextCharFormat italic = formatOf(doc, QStringLiteral("italic words"));
    EXPECT_TRUE(italic.fontItalic());
    EXPECT_NE(italic.fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatOf(doc, QStringLiteral("underlined words")).fontUnderline());
    EXPECT_FALSE(formatOf(doc, QStringLiteral(" and ")).fontUnderline());
    const QTextCharFormat both = formatOf(doc, QStringLiteral("bold italic"));
    EXPECT_EQ(both.fontWeight(), QFont::Bold);
    EXPECT_TRUE(both.fontItalic());
    EXPECT_EQ(formatOf(doc, QStringLiteral("résumé")).fontWeight(), QFont::Bold);

    EXPECT_DOUBLE_EQ(formatOf(doc, QStringLiteral("Large text")).fontPointSize(), 18.0);
    EXPECT_DOUBLE_EQ(formatOf(doc, QStringLiteral("small text")).fontPointSize(), 9.0);

    EXPECT_EQ(blockOf(doc, QStringLiteral("Centred")).blockFormat().alignment(), Qt::AlignHCenter);
    EXPECT_EQ(blockOf(doc, QStringLiteral("Name")).blockFormat().alignment(), Qt::AlignLeft);
    // \li720\fi-360: a hanging indent, 48 and -24 pixels at 15 twips a pixel.
    const QTextBlockFormat item = blockOf(doc, QStringLiteral("First point")).blockFormat();
    EXPECT_DOUBLE_EQ(item.leftMargin(), 48.0);
    EXPECT_DOUBLE_EQ(item.textIndent(), -24.0);
    // The tab after the bullet reaches where the item's other lines begin.
    ASSERT_EQ(item.tabPositions().size(), 1);
    EXPECT_DOUBLE_EQ(item.tabPositions().first().position, 24.0);
}

TEST(RtfReader, DecodesEscapesInTheFilesCodePage)
{
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80\\'93x\\'94}"),
              QStringLiteral("café €“x”"));
    // Without a code page the file is Windows-1252, and so is one nobody knows.
    EXPECT_EQ(read("{\\rtf1 caf\\'e9\\'85}"), QStringLiteral("café…"));
    EXPECT_EQ(read("{\\rtf1\\ansicpg99999 caf\\'e9}"), QStringLiteral("café"));
    // Every defined character of the upper half, against the system's own converter.
    QStringDecoder windows1252("windows-1252");
    ASSERT_TRUE(windows1252.isValid());
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)
            continue;
        const QByteArray hex = QByteArray::number(byte, 16);
        EXPECT_EQ(read("{\\rtf1 \\'" + hex + "}"), windows1252.decode(QByteArray(1, char(byte))))
            << "byte 0x" << hex.constData();
    }
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg1251 \\'e6\\'e8\\'e7\\'ed\\'fc}"),
              QStringLiteral("жизнь"));
    // A font's character set decides for the text in that font.
    EXPECT_EQ(read("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}}"
                   "\\f0 caf\\'e9 {\\f1 \\'e6}\\'e6}"),
              QStringLiteral("café жæ"));
    // Two escapes that form one double-byte character.
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}"), QStringLiteral("あ"));
    EXPECT_EQ(read("{\\rtf1 a\\\\b\\{c\\}d\\~e\\tab f\\line g\\emdash h}"),
              QStringLiteral("a\\b{c}d\u00a0e\tf") + QChar(QChar::LineSeparator) +
                  QStringLiteral("g—h"));
    // Line ends in the file are not text; control characters from escapes neither.
    EXPECT_EQ(read("{\\rtf1 one\r\ntwo\\'00\\'0d\\par three}"), QStringLiteral("onetwo\nthree"));
}

TEST(RtfReader, UnicodeEscapesSkipTheirFallback)
{
    EXPECT_EQ(read("{\\rtf1 \\u8364?x}"), QStringLiteral("€x"));
    EXPECT_EQ(read("{\\rtf1 \\uc2\\u8364\\'80?x}"), QStringLiteral("€x"));
    EXPECT_EQ(read("{\\rtf1 \\uc0\\u8364 x}"), QStringLiteral("€x"));
    // A control word counts as one fallback character.
    EXPECT_EQ(read("{\\rtf1 \\u8226\\bullet\\tab x}"), QStringLiteral("•\tx"));
    // \uc belongs to its group, and a group's end ends the fallback.
    EXPECT_EQ(read("{\\rtf1 {\\uc2 \\u8364??}\\u8364?x}"), QStringLiteral("€€x"));
    EXPECT_EQ(read("{\\rtf1 {\\uc3\\u8364}ab}"), QStringLiteral("€ab"));
    // Negative numbers stand for the upper half; two of them may form a surrogate pair.
    EXPECT_EQ(read("{\\rtf1 \\u-3913?}"), QString(QChar(0xF0B7)));
    EXPECT_EQ(read("{\\rtf1 \\u-10179?\\u-8704?}"), QStringLiteral("😀"));
}

TEST(RtfReader, FollowsFormattingOnAndOff)
{
    QTextDocument doc;
    RtfReader reader;
    ASSERT_TRUE(reader.read("{\\rtf1 \\b B1\\b0 n1 \\i I1\\i0 n2 \\ul U1\\ulnone n3 \\uldb U2\\ul0 "
                            "n4 {\\b\\i\\fs40 G1}n5 \\b\\fs16 P1\\plain n6\\v hid\\v0 n7}",
                            &doc));
    EXPECT_EQ(textOf(doc), QStringLiteral("B1n1 I1n2 U1n3 U2n4 G1n5 P1n6n7"));
    EXPECT_EQ(formatOf(doc, QStringLiteral("B1")).fontWeight(), QFont::Bold);
    EXPECT_NE(formatOf(doc, QStringLiteral("n1")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatOf(doc, QStringLiteral("I1")).fontItalic());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("n2")).fontItalic());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("U1")).fontUnderline());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("n3")).fontUnderline());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("U2")).fontUnderline());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("n4")).fontUnderline());
    const QTextCharFormat group = formatOf(doc, QStringLiteral("G1"));
    EXPECT_EQ(group.fontWeight(), QFont::Bold);
    EXPECT_TRUE(group.fontItalic());
    EXPECT_DOUBLE_EQ(group.fontPointSize(), 20.0);
    // The group's end restores what was before it.
    const QTextCharFormat after = formatOf(doc, QStringLiteral("n5"));
    EXPECT_NE(after.fontWeight(), QFont::Bold);
    EXPECT_FALSE(after.fontItalic());
    EXPECT_DOUBLE_EQ(after.fontPointSize(), 12.0);
    EXPECT_DOUBLE_EQ(formatOf(doc, QStringLiteral("P1")).fontPointSize(), 8.0);
    const QTextCharFormat reset = formatOf(doc, QStringLiteral("n6"));
    EXPECT_NE(reset.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(reset.fontPointSize(), 12.0);

    // Text in a fixed-pitch font of the file keeps a fixed pitch.
    ASSERT_TRUE(reader.read("{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
                            "\\f0 prop {\\f1 fixed} prop2}",
                            &doc));
    EXPECT_EQ(textOf(doc), QStringLiteral("prop fixed prop2"));
    const QTextCharFormat fixed = formatOf(doc, QStringLiteral("fixed"));
    EXPECT_TRUE(fixed.fontFixedPitch());
    EXPECT_TRUE(fixed.fontFamilies().toStringList().contains(QStringLiteral("monospace")));
    EXPECT_FALSE(formatOf(doc, QStringLiteral("prop2")).fontFixedPitch());
}

TEST(RtfReader, SkipsDestinationsItDoesNotShow)
{
    bool ok = false;
    const QString text =
        read("{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
             "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret title}{\\author Someone}}"
             "{\\*\\generator Writer 9;}{\\*\\unknownthing hidden {\\b nested}}"
             "a{\\pict\\pngblip 89504e470d0a}b{\\pict\\bin3 }{\\}c"
             "{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}"
             "{\\header page head}d}",
             &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, QStringLiteral("abclinkd"));
}

TEST(RtfReader, SurvivesDamagedInputAndSaysSo)
{
    bool ok = true;
    QString error;

    // Unbalanced braces: what was read is kept, the damage is reported.
    EXPECT_EQ(read("{\\rtf1 {\\b open", &ok, &error), QStringLiteral("open"));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(read("{\\rtf1 a}}}}b", &ok), QStringLiteral("a"));

    // Deep nesting: groups past the limit are left out, the text after them is read.
    const QByteArray deep =
        "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " after}";
    EXPECT_EQ(read(deep, &ok, &error), QStringLiteral(" after"));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.contains(QLatin1String("nested")));
    // Exactly at the limit everything is still read.
    const int inner = RtfReader::MaxGroupDepth - 1;
    EXPECT_EQ(
        read("{\\rtf1 " + QByteArray(inner, '{') + "deep" + QByteArray(inner, '}') + "}", &ok),
        QStringLiteral("deep"));
    EXPECT_TRUE(ok);

    // Escapes cut short or with nonsense in them.
    EXPECT_EQ(read("{\\rtf1 abc\\'e", &ok), QStringLiteral("abc"));
    EXPECT_FALSE(ok);
    EXPECT_EQ(read("{\\rtf1 abc\\", &ok), QStringLiteral("abc"));
    EXPECT_FALSE(ok);
    EXPECT_EQ(read("{\\rtf1 a\\'zzb}", &ok), QStringLiteral("azzb"));
    EXPECT_FALSE(ok);
    EXPECT_EQ(read("{\\rtf1 \\u99999999999999999999?x\\u-99999?y\\u70000?z}", &ok),
              QStringLiteral("\ufffdx\ufffdy\ufffdz"));
    EXPECT_FALSE(ok);
    EXPECT_EQ(read("{\\rtf1 \\u-10179?x\\u-8704?y}"), QStringLiteral("\ufffdx\ufffdy"));
    // Huge numbers are clamped, a huge \bin eats only what is there.
    QTextDocument doc;
    RtfReader reader;
    reader.read("{\\rtf1\\fs99999999999999 big\\uc999999999\\u8364 x}", &doc);
    EXPECT_EQ(textOf(doc), QStringLiteral("big€"));
    EXPECT_DOUBLE_EQ(formatOf(doc, QStringLiteral("big")).fontPointSize(), 200.0);
    EXPECT_EQ(read("{\\rtf1 a\\bin99999999999 bcd}", &ok), QStringLiteral("a"));
    EXPECT_FALSE(ok);

    // Binary junk after a valid start, and junk on its own.
    QByteArray junk(1 << 20, '\0');
    QRandomGenerator random(7);
    for (char &c : junk)
        c = char(random.bounded(256));
    EXPECT_LE(read("{\\rtf1 " + junk).size(), junk.size());
    EXPECT_LE(read(junk, &ok, &error).size(), junk.size());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
}

TEST(RtfReader, BoundsTheInputSize)
{
    bool ok = true;
    QString error;
    const QByteArray body(RtfReader::MaxInputSize, 'x');
    const QString text = read("{\\rtf1 " + body + "}", &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.contains(QLatin1String("larger")));
    EXPECT_EQ(text.size(), RtfReader::MaxInputSize - 7);

    const QString dir = TestEnv::freshProgramDirectory();
    const QString path = dir + QStringLiteral("/big.rtf");
    ASSERT_TRUE(TestEnv::writeFile(path, "{\\rtf1 " + body + body + "}"));
    QTextDocument doc;
    RtfReader reader;
    EXPECT_FALSE(reader.readFile(path, &doc));
    EXPECT_EQ(doc.characterCount() - 1, RtfReader::MaxInputSize - 7);
}

TEST(RtfReader, StopsTextsThatWouldKeepTheWindowBusy)
{
    QTextDocument doc;
    RtfReader reader;
    EXPECT_FALSE(reader.read("{\\rtf1 " + QByteArray("x\\par ").repeated(60000) + "}", &doc));
    EXPECT_TRUE(reader.errorString().contains(QLatin1String("paragraphs")));
    EXPECT_EQ(doc.blockCount(), 50001);

    EXPECT_FALSE(reader.read("{\\rtf1 " + QByteArray("\\b a\\b0 b").repeated(120000) + "}", &doc));
    EXPECT_TRUE(reader.errorString().contains(QLatin1String("look")));
    EXPECT_EQ(doc.characterCount() - 1, 200000);
    EXPECT_EQ(formatOf(doc, QStringLiteral("a")).fontWeight(), QFont::Bold);
}

TEST(RtfReader, ShowsOtherTextPlainAndReportsMissingFiles)
{
    bool ok = true;
    EXPECT_EQ(read("Just some notes\r\nabout cameras", &ok),
              QStringLiteral("Just some notes\nabout cameras"));
    EXPECT_FALSE(ok);

    QTextDocument doc;
    doc.setPlainText(QStringLiteral("old"));
    RtfReader reader;
    EXPECT_FALSE(reader.readFile(TestEnv::root() + QStringLiteral("/no-such.rtf"), &doc));
    EXPECT_FALSE(reader.errorString().isEmpty());
    EXPECT_TRUE(doc.isEmpty());
}
