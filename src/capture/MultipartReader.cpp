#include "MultipartReader.h"

#include <charconv>

#include "SnapshotResponse.h"

namespace {

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// The value of a "Content-Length:" line among header lines, when it is a
// plain non-negative number.
std::optional<qsizetype> contentLengthOf(QByteArrayView header)
{
    const QByteArrayView digits = SnapshotResponse::headerValue(header, "Content-Length");
    qint64 value = -1;
    const auto [ptr, ec] = std::from_chars(digits.begin(), digits.end(), value);
    if (digits.isEmpty() || ec != std::errc() || ptr != digits.end() || value < 0)
        return std::nullopt;
    return qsizetype(value);
}

} // namespace

std::optional<QByteArray> MultipartReader::boundaryOf(QByteArrayView contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    const QByteArrayView type = trimmed(semicolon < 0 ? contentType : contentType.first(semicolon));
    if (type.compare(QByteArrayView("multipart/x-mixed-replace"), Qt::CaseInsensitive) != 0 ||
        semicolon < 0)
        return std::nullopt;
    QByteArrayView rest = contentType.sliced(semicolon + 1);
    while (!rest.isEmpty()) {
        const qsizetype next = rest.indexOf(';');
        const QByteArrayView parameter = trimmed(next < 0 ? rest : rest.first(next));
        rest = next < 0 ? QByteArrayView() : rest.sliced(next + 1);
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0 || trimmed(parameter.first(equals))
                                  .compare(QByteArrayView("boundary"), Qt::CaseInsensitive) != 0)
            continue;
        QByteArrayView value = trimmed(parameter.sliced(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.sliced(1, value.size() - 2);
        if (value.isEmpty() || value.size() > 200)
            return std::nullopt;
        return value.toByteArray();
    }
    return std::nullopt;
}

MultipartReader::MultipartReader(const QByteArray &boundary, qsizetype limit)
    : m_delimiter("--" + boundary)
    , m_limit(limit)
{
    // Some cameras announce "boundary=--frame" and then write "--frame" lines.
    if (boundary.startsWith("--"))
        m_bareBoundary = boundary;
}

MultipartReader::State MultipartReader::fail(const char *why)
{
    m_failure = why;
    m_state = State::Failed;
    m_buffer = QByteArray();
    return m_state;
}

MultipartReader::State MultipartReader::feed(QByteArrayView data)
{
    if (m_state != State::NeedMore)
        return m_state;
    if (m_buffer.size() + data.size() > m_limit)
        return fail("the stream's first part is larger than the size cap");
    m_buffer.append(data);
    return parse();
}

qsizetype MultipartReader::findDelimiter(qsizetype from, qsizetype *length, bool *undecided) const
{
    // A delimiter line is "--boundary", maybe "--" (the last one), maybe
    // blanks, then the line end; "--boundaryless" inside a picture is not one.
    qsizetype best = -1;
    bool bestUndecided = false;
    for (const QByteArray *candidate : {&m_delimiter, &m_bareBoundary}) {
        if (candidate->isEmpty())
            continue;
        qsizetype at = from;
        bool open = false;
        while ((at = m_buffer.indexOf(*candidate, at)) >= 0) {
            if (at == 0 || m_buffer[at - 1] == '\n') {
                qsizetype i = at + candidate->size();
                const qsizetype rest = m_buffer.size() - i;
                if (rest == 0 || (rest == 1 && m_buffer[i] == '-')) {
                    open = true; // the rest of the line has not come yet
                    break;
                }
                if (m_buffer.mid(i, 2) == "--")
                    i += 2;
                while (i < m_buffer.size() && (m_buffer[i] == ' ' || m_buffer[i] == '\t'))
                    ++i;
                if (i >= m_buffer.size()) {
                    open = true;
                    break;
                }
                if (m_buffer[i] == '\r' || m_buffer[i] == '\n')
                    break;
            }
            ++at;
        }
        if (at >= 0 && (best < 0 || at < best)) {
            best = at;
            bestUndecided = open;
            *length = candidate->size();
        }
    }
    *undecided = bestUndecided;
    return best;
}

MultipartReader::State MultipartReader::parse()
{
    if (m_bodyStart < 0) {
        qsizetype length = 0;
        bool undecided = false;
        const qsizetype delimiter = findDelimiter(0, &length, &undecided);
        if (delimiter < 0 || undecided) {
            // Preamble only so far; it cannot grow without bound.
            if (m_buffer.size() > PartHeaderLimit)
                return fail("no boundary line at the start of the stream");
            return State::NeedMore;
        }
        const qsizetype lineEnd = m_buffer.indexOf('\n', delimiter + length);
        if (lineEnd < 0)
            return m_buffer.size() - delimiter > PartHeaderLimit
                       ? fail("the boundary line does not end")
                       : State::NeedMore;
        const qsizetype headerStart = lineEnd + 1;
        // An empty header block is the blank line right after the delimiter.
        qsizetype headerEnd = -1;
        qsizetype bodyStart = -1;
        if (m_buffer.mid(headerStart, 2) == "\r\n") {
            headerEnd = headerStart;
            bodyStart = headerStart + 2;
        } else if (m_buffer.mid(headerStart, 1) == "\n") {
            headerEnd = headerStart;
            bodyStart = headerStart + 1;
        } else {
            const qsizetype crlf = m_buffer.indexOf("\r\n\r\n", headerStart);
            const qsizetype lf = m_buffer.indexOf("\n\n", headerStart);
            if (crlf >= 0 && (lf < 0 || crlf < lf)) {
                headerEnd = crlf;
                bodyStart = crlf + 4;
            } else if (lf >= 0) {
                headerEnd = lf;
                bodyStart = lf + 2;
            }
        }
        if (headerEnd < 0)
            return m_buffer.size() - headerStart > PartHeaderLimit
                       ? fail("the part header does not end")
                       : State::NeedMore;
        if (headerEnd - headerStart > PartHeaderLimit)
            return fail("the part header does not end");
        m_partHeader = m_buffer.mid(headerStart, headerEnd - headerStart);
        m_bodyLength = contentLengthOf(m_partHeader).value_or(-1);
        if (m_bodyLength > m_limit)
            return fail("the stream's first part is larger than the size cap");
        // Nothing before the body is kept.
        m_buffer.remove(0, bodyStart);
        m_bodyStart = 0;
        m_scanFrom = 0;
    }

    if (m_bodyLength >= 0) {
        if (m_buffer.size() < m_bodyLength)
            return State::NeedMore;
        m_partBody = m_buffer.left(m_bodyLength);
    } else {
        // No length: the part ends where the next delimiter line starts.
        qsizetype length = 0;
        bool undecided = false;
        const qsizetype next = findDelimiter(m_scanFrom, &length, &undecided);
        if (next < 0 || undecided) {
            // The next look starts where a delimiter could still begin.
            m_scanFrom =
                undecided ? next : qMax<qsizetype>(0, m_buffer.size() - m_delimiter.size() - 2);
            return State::NeedMore;
        }
        qsizetype end = next;
        if (end > 0 && m_buffer[end - 1] == '\n')
            --end;
        if (end > 0 && m_buffer[end - 1] == '\r')
            --end;
        m_partBody = m_buffer.left(end);
    }
    m_buffer = QByteArray();
    m_state = State::Complete;
    return m_state;
}
