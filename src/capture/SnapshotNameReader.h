#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>

// One way to read a saved picture's name back: the camera part as the name
// rule left it, and the local date and time the name was made for.
struct SnapshotReading
{
    QString camera;
    QDate date;
    QTime time;
    // 1 for the plain name, n for the "-n" a save takes when the second is taken.
    int copy = 1;

    QDateTime localDateTime() const { return QDateTime(date, time); }
    bool operator==(const SnapshotReading &other) const = default;
};

// The inverse of SnapshotFileName::make: from "FrontDoor712202680509AM-2.jpg"
// back to the camera "FrontDoor", 12 July 2026, 8:05:09 AM, copy 2.
//
// The rule joins the digits of the date and time without separators, with
// months, days and hours of one or two digits, after a camera name that may
// end in digits itself. So a name can have more than one reading ("Cam1112026"
// is 1/11 or 11/1, or a camera "Cam1" on 1/1). readings() gives all of them;
// choose() settles on one with what the caller knows: the camera names in
// use, and the file's modification time as the last resort.
class SnapshotNameReader
{
public:
    // Every reading of fileName that the rule could have made, the longest
    // camera part first. Empty for a name the rule cannot have made.
    static QList<SnapshotReading> readings(QStringView fileName);

    // Readings whose camera is one of knownCameras (camera parts, as
    // cameraPart() gives them) when there are any; among several, the one
    // nearest the file's modification time, asked for only then. Empty when
    // there is no reading at all.
    static std::optional<SnapshotReading> choose(const QList<SnapshotReading> &readings,
                                                 const QSet<QString> &knownCameras,
                                                 const std::function<QDateTime()> &modified = {});

    // The camera part of the names a camera's pictures get: what
    // SnapshotFileName::make puts before the date.
    static QString cameraPart(const QString &camName);

    // Years outside this window are not read as years: a shifted split of the
    // digits then never passes for a date.
    static constexpr int FirstYear = 1970;
    static constexpr int LastYear = 2199;
};
