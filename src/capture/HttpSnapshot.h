#pragma once

#include <QByteArray>
#include <QString>

// What a snapshot fetch shows while it runs: the progress and its status text,
// and the cap on one answer. The exchange itself is HttpExchange's.
namespace HttpSnapshot {

// One response may not grow beyond this; a stream URL or a hostile server would
// otherwise fill memory until the next interval.
constexpr qint32 MaxResponseBytes = 64 * 1024 * 1024;

// The text after the last "/" of path (empty when the path ends with "/").
QString displayFileName(const QString &path);

// Received body bytes as a percentage of the announced length.
float progressPercent(qint32 bytesReceived, qint32 contentLength);

// The shortest decimal text of a single-precision value with at most seven
// significant digits: 75, 37.5, 33.33333.
QString singleText(float value);

// The shortest decimal text that reads back as value: 29, 1.5, 0.5.
QString numberText(double value);

// "Downloading " + fileName + " [" + percent + "]"
QString downloadingText(const QString &fileName, float percent);

} // namespace HttpSnapshot
