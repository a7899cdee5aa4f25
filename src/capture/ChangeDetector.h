#pragma once

#include <QByteArray>
#include <QString>

// Tells whether a camera's picture is a new one, for one fetch run.
//
// A camera that sends "Last-Modified:" is judged by that line alone, exactly
// as the header rule has it (SnapshotResponse::detectChange). Most cameras send
// no such line; then a changed ETag decides, and with neither a changed
// 64-bit content hash (XXH3) of the body. The first picture of a run is never
// new: there is nothing yet to compare it with.
class ChangeDetector
{
public:
    enum class Basis { LastModified, ETag, ContentHash };

    struct Outcome
    {
        bool isNew = false;
        Basis basis = Basis::ContentHash;
    };

    // recordedLastModified: the line the panel recorded (empty at the start of
    // a run); the Last-Modified rule itself stays with the caller, which keeps
    // its record. Only header and body decide for the other two bases.
    Outcome judge(const QByteArray &header, const QByteArray &body,
                  const QString &recordedLastModified);

    // A new fetch run: forget what was seen.
    void reset();

    // The value of the header's "ETag:" line (any letter case), trimmed; empty
    // without one.
    static QByteArray etagOf(const QByteArray &header);
    static quint64 contentHash(const QByteArray &body);

private:
    QByteArray m_etag;
    bool m_haveHash = false;
    quint64 m_hash = 0;
};
