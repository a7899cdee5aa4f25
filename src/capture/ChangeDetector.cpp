#include "ChangeDetector.h"

#include <xxhash.h>

#include "SnapshotResponse.h"

ChangeDetector::Outcome ChangeDetector::judge(const QByteArray &header, const QByteArray &body,
                                              const QString &recordedLastModified)
{
    Outcome outcome;
    const SnapshotResponse::Change change =
        SnapshotResponse::detectChange(header, recordedLastModified);
    // The other two are kept up to date even while Last-Modified decides, so a
    // camera that stops sending it is judged against its last picture.
    const QByteArray etag = etagOf(header);
    const quint64 hash = contentHash(body);
    const bool hadHash = m_haveHash;
    const quint64 previousHash = m_hash;
    const QByteArray previousEtag = m_etag;
    m_haveHash = true;
    m_hash = hash;
    m_etag = etag;

    if (change.hasLine) {
        outcome.basis = Basis::LastModified;
        outcome.isNew = change.isNew;
    } else if (!etag.isEmpty()) {
        outcome.basis = Basis::ETag;
        outcome.isNew = !previousEtag.isEmpty() && previousEtag != etag;
    } else {
        outcome.basis = Basis::ContentHash;
        outcome.isNew = hadHash && previousHash != hash;
    }
    return outcome;
}

void ChangeDetector::reset()
{
    m_etag.clear();
    m_haveHash = false;
    m_hash = 0;
}

QByteArray ChangeDetector::etagOf(const QByteArray &header)
{
    return SnapshotResponse::headerValue(header, "ETag").toByteArray();
}

quint64 ChangeDetector::contentHash(const QByteArray &body)
{
    return XXH3_64bits(body.constData(), size_t(body.size()));
}
