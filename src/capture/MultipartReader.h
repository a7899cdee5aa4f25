#pragma once

#include <optional>

#include <QByteArray>
#include <QByteArrayView>

// The first complete part of a "multipart/x-mixed-replace" body: what a
// camera's MJPEG stream URL sends, one picture after another, without end.
// Only the first part is wanted, so the reader never holds more than one part
// and the bytes before it (at most the limit it is given).
class MultipartReader
{
public:
    enum class State { NeedMore, Complete, Failed };

    // The boundary of a Content-Type value when it names
    // multipart/x-mixed-replace (any letter case) and carries a non-empty
    // boundary parameter (quoted or not); nothing otherwise.
    static std::optional<QByteArray> boundaryOf(QByteArrayView contentType);

    MultipartReader(const QByteArray &boundary, qsizetype limit);

    // Takes the next body bytes. Once Complete or Failed, further data is ignored.
    State feed(QByteArrayView data);
    State state() const { return m_state; }

    // The part's header lines (without the blank line) and its body.
    const QByteArray &partHeader() const { return m_partHeader; }
    const QByteArray &partBody() const { return m_partBody; }
    // Why the reader gave up, when Failed.
    const char *failure() const { return m_failure; }

    // Part headers longer than this end the stream as broken.
    static constexpr qsizetype PartHeaderLimit = 32 * 1024;

private:
    State parse();
    State fail(const char *why);
    // Position of the first delimiter line from "from" on, and its length;
    // undecided when the line has not fully arrived yet.
    qsizetype findDelimiter(qsizetype from, qsizetype *length, bool *undecided) const;

    QByteArray m_delimiter;    // "--" + boundary
    QByteArray m_bareBoundary; // the boundary alone, when it already starts with "--"
    qsizetype m_limit = 0;
    QByteArray m_buffer;
    State m_state = State::NeedMore;
    qsizetype m_bodyStart = -1;  // in m_buffer, once the part header is read
    qsizetype m_bodyLength = -1; // from the part's Content-Length
    qsizetype m_scanFrom = 0;
    QByteArray m_partHeader;
    QByteArray m_partBody;
    const char *m_failure = "";
};
