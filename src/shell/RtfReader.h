#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// Turns the RTF a word processor writes into a QTextDocument for a QTextBrowser,
// since Qt reads no RTF itself. It understands what a help text needs: groups,
// paragraphs, line breaks, tabs, bold, italic, underline, font sizes, alignment
// and indents, 8-bit escapes in the file's code page and Unicode escapes with
// their fallback. Everything else (font and colour tables, style sheets,
// document info, pictures, fields' instructions, "\*" destinations) is skipped.
//
// The input is untrusted (a user may replace Help.rtf with anything), so the
// size and the group nesting are bounded and no input can crash or hang it.
// Whatever could be read is always delivered; read() only tells whether the
// whole input was understood.
class RtfReader
{
public:
    static constexpr qsizetype MaxInputSize = 4 * 1024 * 1024;
    static constexpr int MaxGroupDepth = 100;

    // Replaces the contents of document with the text read from rtf. Returns
    // false when the input was damaged, cut short or not RTF at all; the
    // document then holds what could be read and errorString() says why.
    bool read(const QByteArray &rtf, QTextDocument *document);

    // Reads at most MaxInputSize bytes of the file at path, then as read().
    bool readFile(const QString &path, QTextDocument *document);

    // Empty after a read that understood everything; otherwise the first problem met.
    QString errorString() const { return m_error; }

private:
    QString m_error;
};
