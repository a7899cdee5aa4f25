#pragma once

#include <QDateTime>
#include <QString>

// The names saved pictures get in cam/: camera name, local date and local
// time joined, ".jpg" appended, then blanks, the first two "/" and the first
// three ":" taken out. "Front Door" on 12 July 2026 at 8:05:09 in the morning
// gives FrontDoor712202680509AM.jpg.
class SnapshotFileName
{
public:
    // The naming rule on ready texts, exactly as it stands. The result may
    // still hold "/" and ":" (only the first two and three go) and whatever
    // else the camera name holds.
    static QString fromTexts(const QString &camName, const QString &dateText,
                             const QString &timeText);
    // The naming rule for a local date and time, in the program's fixed date
    // and time forms (DateTimeText), the same on every machine.
    static QString fromRule(const QString &camName, const QDateTime &localTime);

    // The name a picture is saved under: the rule's result, except that
    // whatever could take the file out of cam/ or hide it is replaced by "_":
    // a "/" the rule left, "..", control characters and NUL, a leading "."
    // or "-". A camera name longer than MaxCamNameBytes (in UTF-8) is cut
    // and marked with "_", so the name always fits the file system. A camera
    // name with none of these gives exactly fromRule().
    static QString make(const QString &camName, const QDateTime &localTime);

    // directory + "/" + fileName when no such file exists (a dangling link
    // counts as existing), else the first free of name-2.jpg, name-3.jpg, ...
    // An empty string when even name-9999.jpg is taken. The caller still
    // creates the file exclusively: the name may be taken meanwhile.
    static QString freePath(const QString &directory, const QString &fileName);

    static constexpr int MaxCamNameBytes = 200;
    static constexpr int MaxSuffix = 9999;
};
