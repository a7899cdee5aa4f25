#include "SnapshotFileName.h"

#include <QFileInfo>

#include "DateTimeText.h"

namespace {

void removeFirst(QString &text, QChar ch, int times)
{
    for (int n = 0; n < times; ++n) {
        const qsizetype at = text.indexOf(ch);
        if (at < 0)
            return;
        text.remove(at, 1);
    }
}

// Cuts the name to at most maxBytes of UTF-8, never inside a surrogate pair.
QString cutToBytes(const QString &name, int maxBytes)
{
    QString cut;
    int bytes = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        qsizetype length = 1;
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            length = 2;
        const int size = int(name.mid(i, length).toUtf8().size());
        if (bytes + size > maxBytes)
            break;
        cut += name.mid(i, length);
        bytes += size;
        i += length - 1;
    }
    return cut;
}

bool isUnsafe(const QString &text, qsizetype i)
{
    const QChar ch = text.at(i);
    if (ch == QLatin1Char('/') || ch.category() == QChar::Other_Control)
        return true;
    // Half of a surrogate pair on its own has no file-name spelling.
    if (ch.isHighSurrogate())
        return !(i + 1 < text.size() && text.at(i + 1).isLowSurrogate());
    if (ch.isLowSurrogate())
        return !(i > 0 && text.at(i - 1).isHighSurrogate());
    return false;
}

bool isTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString SnapshotFileName::fromTexts(const QString &camName, const QString &dateText,
                                    const QString &timeText)
{
    QString name = camName + dateText + timeText + QStringLiteral(".jpg");
    name.remove(QLatin1Char(' '));
    removeFirst(name, QLatin1Char('/'), 2);
    removeFirst(name, QLatin1Char(':'), 3);
    return name;
}

QString SnapshotFileName::fromRule(const QString &camName, const QDateTime &localTime)
{
    return fromTexts(camName, DateTimeText::dateText(localTime.date()),
                     DateTimeText::timeText(localTime.time()));
}

QString SnapshotFileName::make(const QString &camName, const QDateTime &localTime)
{
    // The camera name is user text. Cut it first, so the rule's date and time
    // always survive, then take out what could lead the file elsewhere.
    QString cam = camName;
    if (cam.toUtf8().size() > MaxCamNameBytes)
        cam = cutToBytes(cam, MaxCamNameBytes - 1) + QLatin1Char('_');

    QString name = fromRule(cam, localTime);
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isUnsafe(name, i))
            name[i] = QLatin1Char('_');
    }
    name.replace(QStringLiteral(".."), QStringLiteral("__"));
    // Neither a hidden file nor one that reads like an option.
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        name[0] = QLatin1Char('_');
    return name;
}

QString SnapshotFileName::freePath(const QString &directory, const QString &fileName)
{
    const QString first = directory + QLatin1Char('/') + fileName;
    if (!isTaken(first))
        return first;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    for (int n = 2; n <= MaxSuffix; ++n) {
        const QString candidate =
            directory + QLatin1Char('/') + base + QLatin1Char('-') + QString::number(n) + extension;
        if (!isTaken(candidate))
            return candidate;
    }
    return QString();
}
