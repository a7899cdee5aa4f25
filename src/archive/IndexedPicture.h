#pragma once

#include <optional>

#include <QDateTime>
#include <QMetaType>
#include <QString>

// One saved picture as the index knows it.
struct IndexedPicture
{
    // The camera part of the file name (SnapshotNameReader::cameraPart).
    QString camera;
    // The local moment the file name gives, in milliseconds since the epoch.
    qint64 timeMs = 0;
    // The file's name in cam/; the index never holds a path elsewhere.
    QString file;
    // -1 until the index has looked at the file.
    qint64 size = -1;
    // The change score and the event the picture belongs to, where the
    // detector gave them.
    std::optional<double> score;
    std::optional<qint64> event;

    QDateTime time() const { return QDateTime::fromMSecsSinceEpoch(timeMs); }
};

// One change event of a camera: its first and last picture and its highest score.
struct IndexedEvent
{
    qint64 event = 0;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
    int pictures = 0;
    std::optional<double> topScore;
};

Q_DECLARE_METATYPE(IndexedPicture)
