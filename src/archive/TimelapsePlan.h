#pragma once

#include <QList>

// Which picture each frame of a timelapse shows: resampled by time, not by
// file count. Frame k stands for the moment k steps after the first picture,
// and shows the picture current at that moment. A gap between two pictures
// longer than maxGapFrames steps is cut to one step and counted, so a night
// without pictures is not held for minutes of the video.
struct TimelapsePlan
{
    // For each frame, the index of its picture in the times given.
    QList<int> frames;
    int gapsCut = 0;
    // The real time the cuts left out.
    qint64 cutMs = 0;
    // Real milliseconds per frame.
    double stepMs = 0;

    // times: the pictures' moments in ms, ascending. realMsPerFrame: the
    // speed (a speed of N at F frames a second is N * 1000 / F).
    static TimelapsePlan bySpeed(const QList<qint64> &times, double realMsPerFrame,
                                 int maxGapFrames);
    // As many steps as make exactly frameCount frames of the pictures, the
    // cut gaps left out.
    static TimelapsePlan byFrameCount(const QList<qint64> &times, int frameCount, int maxGapFrames);
};
