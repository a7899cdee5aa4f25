#include "TimelapsePlan.h"

#include <cmath>

namespace {

// The pictures' moments on the video's clock: real time, with every gap
// longer than the limit shortened to one step.
QList<double> closeGaps(const QList<qint64> &times, double stepMs, int maxGapFrames,
                        TimelapsePlan *plan)
{
    QList<double> moments;
    moments.reserve(times.size());
    plan->gapsCut = 0;
    plan->cutMs = 0;
    const double limit = stepMs * maxGapFrames;
    double at = 0;
    for (qsizetype i = 0; i < times.size(); ++i) {
        if (i > 0) {
            const double gap = double(times.at(i) - times.at(i - 1));
            if (gap > limit) {
                ++plan->gapsCut;
                plan->cutMs += qint64(gap - stepMs);
                at += stepMs;
            } else {
                at += gap;
            }
        }
        moments.append(at);
    }
    return moments;
}

void fillFrames(const QList<double> &moments, double stepMs, int frameCount, TimelapsePlan *plan)
{
    plan->frames.clear();
    plan->frames.reserve(frameCount);
    int current = 0;
    for (int k = 0; k < frameCount; ++k) {
        // A hair of slack, so a picture exactly on a frame's moment is that frame's.
        const double moment = k * stepMs + 1e-6;
        while (current + 1 < moments.size() && moments.at(current + 1) <= moment)
            ++current;
        plan->frames.append(current);
    }
}

} // namespace

TimelapsePlan TimelapsePlan::bySpeed(const QList<qint64> &times, double realMsPerFrame,
                                     int maxGapFrames)
{
    TimelapsePlan plan;
    if (times.isEmpty() || realMsPerFrame <= 0)
        return plan;
    plan.stepMs = realMsPerFrame;
    const QList<double> moments = closeGaps(times, realMsPerFrame, maxGapFrames, &plan);
    const int frameCount = int(std::floor(moments.last() / realMsPerFrame + 1e-9)) + 1;
    fillFrames(moments, realMsPerFrame, frameCount, &plan);
    return plan;
}

TimelapsePlan TimelapsePlan::byFrameCount(const QList<qint64> &times, int frameCount,
                                          int maxGapFrames)
{
    TimelapsePlan plan;
    if (times.isEmpty() || frameCount <= 0)
        return plan;
    if (frameCount == 1 || times.size() == 1) {
        plan.frames = QList<int>(frameCount, 0);
        return plan;
    }
    // The step decides which gaps are cut, and the cuts decide the step: a
    // cut gap lasts one step, so with the gaps kept summing to kept and cut
    // ones counted, (frameCount - 1) steps = kept + cut steps. Settle the two
    // by turns; the set of cut gaps stops changing within a few rounds.
    double step = double(times.last() - times.first()) / (frameCount - 1);
    QList<double> moments = closeGaps(times, step, maxGapFrames, &plan);
    for (int round = 0; round < 32; ++round) {
        const double kept =
            double(times.last() - times.first()) - double(plan.cutMs) - plan.gapsCut * step;
        const int steps = frameCount - 1 - plan.gapsCut;
        if (steps <= 0)
            break;
        const double next = kept / steps;
        if (next <= 0 || std::abs(next - step) < 1e-6)
            break;
        const int cutBefore = plan.gapsCut;
        step = next;
        moments = closeGaps(times, step, maxGapFrames, &plan);
        if (plan.gapsCut == cutBefore)
            break;
    }
    if (step <= 0)
        step = 1;
    plan.stepMs = step;
    fillFrames(moments, step, frameCount, &plan);
    return plan;
}
