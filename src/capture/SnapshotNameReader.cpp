#include "SnapshotNameReader.h"

#include <cstdlib>

#include "SnapshotFileName.h"

namespace {

bool isDigit(QChar ch)
{
    return ch.unicode() >= '0' && ch.unicode() <= '9';
}

// The number written by the length digits at from, or -1. leadingZero says
// whether a first "0" is allowed (minutes and seconds) or not (months, days,
// hours and years are written without one).
int number(QStringView text, qsizetype from, qsizetype length, bool leadingZero)
{
    if (from < 0 || from + length > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + length; ++i) {
        if (!isDigit(text[i]))
            return -1;
        value = value * 10 + (text[i].unicode() - '0');
    }
    if (!leadingZero && length > 1 && text[from] == QLatin1Char('0'))
        return -1;
    return value;
}

bool endsWithHalfDay(QStringView text, bool *pm)
{
    if (text.endsWith(u"AM")) {
        *pm = false;
        return true;
    }
    if (text.endsWith(u"PM")) {
        *pm = true;
        return true;
    }
    return false;
}

// Reads the date part that ends just before end: M[_]d[_]yyyy, where a "_"
// stands for a "/" the rule kept because the camera name used up the removals
// (the first kept one is always the later one). Appends every reading.
void readDate(QStringView stem, qsizetype end, const QTime &time, int copy,
              QList<SnapshotReading> *out)
{
    const int year = number(stem, end - 4, 4, false);
    if (year < SnapshotNameReader::FirstYear || year > SnapshotNameReader::LastYear)
        return;
    qsizetype at = end - 4;
    const bool secondSlash = at > 0 && stem[at - 1] == QLatin1Char('_');
    if (secondSlash)
        --at;
    for (int dayLength = 2; dayLength >= 1; --dayLength) {
        const int day = number(stem, at - dayLength, dayLength, false);
        if (day < 1 || day > 31)
            continue;
        qsizetype dayStart = at - dayLength;
        bool firstSlash = dayStart > 0 && stem[dayStart - 1] == QLatin1Char('_');
        // A "_" right before the day is the first slash only when the second
        // one was kept too; otherwise it belongs to the camera name.
        if (firstSlash && !secondSlash)
            firstSlash = false;
        const qsizetype monthEnd = firstSlash ? dayStart - 1 : dayStart;
        for (int monthLength = 2; monthLength >= 1; --monthLength) {
            const int month = number(stem, monthEnd - monthLength, monthLength, false);
            if (month < 1 || month > 12)
                continue;
            const qsizetype cameraLength = monthEnd - monthLength;
            if (cameraLength <= 0)
                continue;
            const QDate date(year, month, day);
            if (!date.isValid())
                continue;
            out->append(SnapshotReading{stem.first(cameraLength).toString(), date, time, copy});
        }
    }
}

} // namespace

QList<SnapshotReading> SnapshotNameReader::readings(QStringView fileName)
{
    QList<SnapshotReading> out;
    if (!fileName.endsWith(u".jpg"))
        return out;
    QStringView stem = fileName.chopped(4);

    int copy = 1;
    qsizetype digits = stem.size();
    while (digits > 0 && isDigit(stem[digits - 1]))
        --digits;
    if (digits < stem.size() && digits >= 3 && stem[digits - 1] == QLatin1Char('-')) {
        bool unused = false;
        if (endsWithHalfDay(stem.first(digits - 1), &unused)) {
            const qsizetype length = stem.size() - digits;
            copy = length <= 5 ? number(stem, digits, length, false) : -1;
            if (copy < 2)
                return out;
            stem = stem.first(digits - 1);
        }
    }

    bool pm = false;
    if (!endsWithHalfDay(stem, &pm))
        return out;
    stem.chop(2);

    // Seconds and minutes, then the colons the rule may have kept: the later
    // one first, as the camera name uses up the removals from the front.
    qsizetype at = stem.size();
    const int seconds = number(stem, at - 2, 2, true);
    if (seconds < 0 || seconds > 59)
        return out;
    at -= 2;
    const bool secondColon = at > 0 && stem[at - 1] == QLatin1Char(':');
    if (secondColon)
        --at;
    const int minutes = number(stem, at - 2, 2, true);
    if (minutes < 0 || minutes > 59)
        return out;
    at -= 2;
    const bool firstColon = secondColon && at > 0 && stem[at - 1] == QLatin1Char(':');
    if (firstColon)
        --at;

    for (int hourLength = 2; hourLength >= 1; --hourLength) {
        const int hour = number(stem, at - hourLength, hourLength, false);
        if (hour < 1 || hour > 12)
            continue;
        const QTime time(hour % 12 + (pm ? 12 : 0), minutes, seconds);
        readDate(stem, at - hourLength, time, copy, &out);
    }
    return out;
}

std::optional<SnapshotReading>
SnapshotNameReader::choose(const QList<SnapshotReading> &readings,
                           const QSet<QString> &knownCameras,
                           const std::function<QDateTime()> &modified)
{
    if (readings.isEmpty())
        return std::nullopt;
    if (readings.size() == 1)
        return readings.first();
    QList<SnapshotReading> known;
    for (const SnapshotReading &reading : readings) {
        if (knownCameras.contains(reading.camera))
            known.append(reading);
    }
    const QList<SnapshotReading> &candidates = known.isEmpty() ? readings : known;
    if (candidates.size() == 1 || !modified)
        return candidates.first();
    const QDateTime stamp = modified();
    if (!stamp.isValid())
        return candidates.first();
    const SnapshotReading *best = &candidates.first();
    qint64 bestDistance = -1;
    for (const SnapshotReading &reading : candidates) {
        const qint64 distance = std::llabs(reading.localDateTime().secsTo(stamp));
        if (bestDistance < 0 || distance < bestDistance) {
            best = &reading;
            bestDistance = distance;
        }
    }
    return *best;
}

QString SnapshotNameReader::cameraPart(const QString &camName)
{
    // The rule works on the whole joined name, but the camera comes first: the
    // removals and replacements reach its characters before any of the date's.
    // So make a name for a known moment and read the date back off: the one
    // way to stay the same as the saver whatever the rule learns later.
    const QDateTime moment(QDate(2000, 1, 1), QTime(1, 0, 0));
    const QString name = SnapshotFileName::make(camName, moment);
    for (const SnapshotReading &reading : readings(name)) {
        if (reading.date == moment.date() && reading.time == moment.time())
            return reading.camera;
    }
    return QString();
}
