#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

// Keeps the saved pictures in cam/ within what the user allows: pictures at
// most so many days old, at most so many bytes of them, and the disk never
// filled below a free-space floor. A recorder left alone for weeks would
// otherwise fill any disk: 24 cameras at one picture a second write about
// 25 GB an hour.
//
// Only this program's own pictures are ever deleted: plain files directly in
// the folder whose names follow the snapshot naming rule and end in ".jpg".
// Everything else a user keeps there, links included, is never touched, and
// nothing below or outside the folder is looked at. The oldest pictures, by
// modification time, go first.
//
// The floor deletes nothing: running short of space because something else
// filled the disk must not cost the user their recordings. Below it autosave
// pauses instead (belowFreeSpaceFloor) and goes on by itself when room returns.
class PictureRetention
{
public:
    static constexpr qint64 DefaultMinFreeBytes = qint64(1) << 30;

    struct Limits
    {
        int keepDays = 0;     // 0: pictures of any age are kept
        qint64 keepBytes = 0; // 0: any amount is kept
        qint64 minFreeBytes = DefaultMinFreeBytes;
        bool operator==(const Limits &) const = default;
    };

    struct Report
    {
        int removed = 0;
        qint64 removedBytes = 0;
        int kept = 0;
        qint64 keptBytes = 0;
        QStringList failures; // "file name: reason" for each picture that would not go
        // Each picture deleted, as a path in directory: for those that keep
        // a record of the pictures (the index of saved pictures).
        QStringList removedPaths;
    };

    // Deletes what the limits no longer allow, oldest first. A missing folder
    // is an empty one.
    static Report enforce(const QString &directory, const Limits &limits, const QDateTime &now);

    // True when the disk holding directory has less than minFreeBytes
    // available to us. False when the free space cannot be read: a guess must
    // not stop the recording.
    static bool belowFreeSpaceFloor(const QString &directory, const Limits &limits);
    // The bytes available to us on the disk holding directory (or its nearest
    // existing parent); empty when that cannot be read.
    static std::optional<qint64> availableBytes(const QString &directory);

    // A file name a save of ours could have made: a camera name, then the
    // date and time digits, AM or PM, an optional "-N" and ".jpg".
    static bool isOwnPictureName(const QString &fileName);

    // "500M", "20G", "1.5T", "4096", "800K" (powers of 1024; a trailing "B" or
    // "iB" is allowed, case does not matter). Empty on anything else.
    static std::optional<qint64> parseSize(const QString &text);
    // The shortest of those spellings that reads back as bytes (or close to it).
    static QString sizeText(qint64 bytes);
};
