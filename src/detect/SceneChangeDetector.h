#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QBitArray>
#include <QMetaType>
#include <QRect>
#include <QSize>

#include "CellMask.h"
#include "GreyPicture.h"

// How a camera's change detection is set. The defaults are meant to work on
// any camera without tuning.
struct DetectionOptions
{
    static constexpr int MinSensitivity = 1;
    static constexpr int MaxSensitivity = 100;
    static constexpr int DefaultSensitivity = 50;
    static constexpr double DefaultMinAreaPercent = 1.0;
    static constexpr int DefaultQuietToEnd = 2;

    // Higher finds fainter change; 50 is the default, each 25 up halves the
    // difference a cell needs to count as changed.
    int sensitivity = DefaultSensitivity;
    // The smallest connected area of changed cells that makes a change, in
    // percent of the picture.
    double minAreaPercent = DefaultMinAreaPercent;
    // Pictures without change that end a change.
    int quietToEnd = DefaultQuietToEnd;
    // Cells never looked at.
    CellMask mask;
};

Q_DECLARE_METATYPE(DetectionOptions)

// What one picture told the detector.
struct SceneVerdict
{
    // The picture holds a connected changed area of at least the minimum size.
    bool changed = false;
    // A change began with this picture (it is also changed).
    bool started = false;
    // A change ended with this picture: the last of the quiet ones.
    bool ended = false;
    // A change is going on after this picture.
    bool inEvent = false;
    // The picture was taken as the new background instead of being judged:
    // the first picture, a new size, a switch between colour and grey, or a
    // change over most of the picture at once (the camera moved, its exposure
    // jumped in a way no brightness rule follows).
    bool relearned = false;
    // The changed areas that made the picture changed, in percent of the picture.
    double changedPercent = 0.0;
    // Every cell found changed (masked cells never are), row by row over
    // SceneChangeDetector::Columns x Rows, for an overlay. Empty when the
    // picture was not judged.
    QBitArray changedCells;
};

// Change detection made for still pictures, one object per camera.
//
// A snapshot camera sends one picture every second to every minute, so two
// pictures in a row need not be alike, and a change must count from one
// picture. Each picture is compared with a background that follows slow
// change, after the whole picture's brightness has been matched to the
// background's (a cloud, sunrise or lights switched on move every level the
// same way); what is left is judged cell by cell against each cell's own
// noise, learnt from the pictures; changed cells that touch make areas, and
// an area of the minimum size is a change. A change ends after a few
// pictures without one.
//
// Pure: no event loop, no clock. Feed it the pictures of one camera in order.
class SceneChangeDetector
{
public:
    static constexpr int Columns = CellMask::Columns;
    static constexpr int Rows = CellMask::Rows;
    static constexpr int Cells = CellMask::Cells;
    // Wider pictures are averaged down to at most this width first: detail
    // beyond it only adds noise and time.
    static constexpr int MaxWorkWidth = 320;

    explicit SceneChangeDetector(DetectionOptions options = {});

    const DetectionOptions &options() const { return m_options; }
    // Takes effect with the next picture; what was learnt is kept.
    void setOptions(const DetectionOptions &options);

    // Judges the next picture. A null picture, or one smaller than the grid,
    // is not judged: the verdict is empty and nothing is learnt.
    SceneVerdict judge(const GreyPicture &picture);

    // Forgets everything: the next picture is a first one.
    void reset();
    bool inEvent() const { return m_inEvent; }

    // The pixels of one cell in a picture of the given size.
    static QRect cellRect(int cell, QSize pictureSize);

private:
    void relearn(const std::vector<quint8> &picture);
    std::array<float, 256> brightnessMap(const std::vector<quint8> &picture) const;
    void endQuietPicture(SceneVerdict &verdict);

    DetectionOptions m_options;
    int m_width = 0;
    int m_height = 0;
    std::vector<float> m_background;
    std::vector<quint8> m_previous;
    std::vector<qint16> m_cellOfPixel;
    std::array<float, Cells> m_noise{};
    std::array<int, Cells> m_stable{};
    std::optional<bool> m_colour;
    bool m_inEvent = false;
    int m_quiet = 0;
};
