#include "SnapshotResponse.h"

namespace SnapshotResponse {

namespace {
const QString LastModifiedWord = QStringLiteral("Last-Modified:");
} // namespace

QByteArrayView headerValue(QByteArrayView header, QByteArrayView name)
{
    qsizetype start = 0;
    while (start < header.size()) {
        qsizetype end = header.indexOf('\n', start);
        if (end < 0)
            end = header.size();
        QByteArrayView line = header.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            line.first(name.size()).compare(name, Qt::CaseInsensitive) == 0)
            return line.sliced(name.size() + 1).trimmed();
        start = end + 1;
    }
    return {};
}

bool isImage(const QByteArray &header)
{
    return header.toLower().contains("image/");
}

Change detectChange(const QByteArray &header, const QString &recorded)
{
    Change change;
    // Header bytes are 8-bit text; Latin-1 keeps every byte as one character.
    const QString text = QString::fromLatin1(header);
    const qsizetype at = text.indexOf(LastModifiedWord, 0, Qt::CaseInsensitive);
    if (at < 0)
        return change;

    change.hasLine = true;
    change.line = text.mid(at);
    const qsizetype lineEnd = change.line.indexOf(QLatin1String("\r\n"));
    if (lineEnd >= 0)
        change.line.truncate(lineEnd);
    change.updatedText = change.line;
    change.updatedText.remove(LastModifiedWord, Qt::CaseInsensitive);

    if (change.line == recorded)
        return change;
    change.record = true;
    change.isNew = !recorded.isEmpty();
    return change;
}

} // namespace SnapshotResponse
