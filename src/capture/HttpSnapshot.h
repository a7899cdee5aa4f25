#pragma once

#include <QByteArray>
#include <QString>

struct SnapshotFetch;

// The HTTP side of one snapshot fetch: the request we send and what we make of
// the response bytes while they arrive. No sockets here; CameraEngine feeds it.
namespace HttpSnapshot {

// One response may not grow beyond this; a stream URL or a hostile server would
// otherwise fill memory until the next interval.
constexpr qint32 MaxResponseBytes = 64 * 1024 * 1024;

// The most a response buffer is reserved for from its announced length.
constexpr qint32 ReserveLimit = 8 * 1024 * 1024;
// The header end is looked for only this far (its position is a 16-bit number).
constexpr qint32 HeaderScanLimit = 32767;

// Replaces every blank in path by "%20", stores the result back into path and
// returns the request: GET, Host, Connection: close, Accept: */*, empty line.
QByteArray requestBytes(const QString &host, QString &path);

// The text after the last "/" of path (empty when the path ends with "/").
QString displayFileName(const QString &path);

// Position, counted from 1, of the first CR LF CR LF in buffer; 0 when there
// is none or it starts beyond HeaderScanLimit.
qint32 headerEndPosition(const QByteArray &buffer);

// Walks the header lines (header without its blank line) and, at the first one
// containing "Content-Length" (case-sensitive), reads the number after its first
// blank. Returns that number, or current when there is no such line or it
// carries no readable 32-bit number.
qint32 contentLength(QByteArrayView header, qint32 current);

// Received body bytes as a percentage of the announced length.
float progressPercent(qint32 bytesReceived, qint32 contentLength);

// The shortest decimal text of a single-precision value with at most seven
// significant digits: 75, 37.5, 33.33333.
QString singleText(float value);

// The shortest decimal text that reads back as value: 29, 1.5, 0.5.
QString numberText(double value);

// "Downloading " + fileName + " [" + percent + "]"
QString downloadingText(const QString &fileName, float percent);

// What one data event did to the fetch.
struct Arrival
{
    bool overCap = false;     // the response outgrew MaxResponseBytes; nothing appended
    bool headerFound = false; // the header end was found in this event
    bool progressShown = false;
    QString statusText; // set when progressShown
};

// Appends data to the fetch buffer, counts it, finds the header end and the
// announced length, and moves the progress value (a value above 100 is not
// taken; the text then repeats the previous one).
Arrival receive(SnapshotFetch &fetch, const QByteArray &data);

} // namespace HttpSnapshot
