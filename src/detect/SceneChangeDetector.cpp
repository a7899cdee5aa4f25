#include "SceneChangeDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Settings.h"

// The stored per-camera settings fall back to the detector's own defaults.
static_assert(Settings::DefaultDetectionSensitivity == DetectionOptions::DefaultSensitivity);
static_assert(Settings::MinDetectionSensitivity == DetectionOptions::MinSensitivity);
static_assert(Settings::MaxDetectionSensitivity == DetectionOptions::MaxSensitivity);
static_assert(Settings::DefaultDetectionMinArea == DetectionOptions::DefaultMinAreaPercent);

namespace {

// A cell's difference (mean absolute grey levels after the brightness match)
// must pass both this floor and this many times the cell's learnt noise.
constexpr float kFloor = 6.0f;
constexpr float kNoiseMultiple = 3.0f;
constexpr float kInitialNoise = 1.0f;
// A cell's difference is the shift of its mean plus this share of what is
// left (texture): a new thing moves a cell's mean, while fine noise (rain,
// snow, a sensor at night) and changing small text barely do, however much
// they stir single pixels.
constexpr float kTextureShare = 0.25f;
// How fast a cell's noise follows what it sees outside changes: up quickly,
// so a flickering spot (a clock, leaves) stops counting after a few pictures;
// down slowly, so it does not count again at its next quiet moment.
constexpr float kNoiseRise = 0.3f;
constexpr float kNoiseFall = 0.05f;
// A changed cell whose own texture is still there, only lit differently
// (its pixels still follow the background's closely along a line of gain
// within these bounds), was relit, not changed: a lamp switched on over one
// part of the view, colours clipping unevenly under a sudden exposure.
// Only cells with texture to compare can tell; a flat cell cannot.
constexpr float kRelitMinDeviation = 6.0f;
constexpr float kRelitMinCorrelation = 0.9f;
constexpr float kRelitMinGain = 0.25f;
constexpr float kRelitMaxGain = 4.0f;
// How fast the background follows the picture where nothing changed.
constexpr float kBackgroundRate = 0.1f;
// A changed cell that stays as it is for this many pictures (a parked car)
// becomes background, so a change ends even when its cause stays.
constexpr int kAbsorbAfter = 8;
// Over this share of the looked-at cells changed at once is no happening in
// the scene but a new scene: the camera moved or its exposure leapt.
constexpr double kSwitchShare = 0.5;
// Colourfulness with a gap between, so a dull picture does not flip to and fro.
constexpr double kColourAbove = 3.0;
constexpr double kGreyBelow = 1.0;
// The brightness match: one offset per band of background levels.
constexpr int kBands = 16;
constexpr int kBandWidth = 256 / kBands;

float sensitivityFactor(int sensitivity)
{
    const int s =
        std::clamp(sensitivity, DetectionOptions::MinSensitivity, DetectionOptions::MaxSensitivity);
    return float(std::pow(2.0, (DetectionOptions::DefaultSensitivity - s) / 25.0));
}

// The picture as a tight grey plane no wider than MaxWorkWidth (box average).
std::vector<quint8> workPlane(const QImage &image, int *width, int *height)
{
    const int factor =
        (image.width() + SceneChangeDetector::MaxWorkWidth - 1) / SceneChangeDetector::MaxWorkWidth;
    const int w = image.width() / factor;
    const int h = image.height() / factor;
    *width = w;
    *height = h;
    std::vector<quint8> plane(size_t(w) * size_t(h));
    if (factor == 1) {
        for (int y = 0; y < h; ++y)
            std::copy_n(image.constScanLine(y), w, plane.begin() + qsizetype(y) * w);
        return plane;
    }
    std::vector<int> sums(static_cast<size_t>(w));
    const int area = factor * factor;
    for (int y = 0; y < h; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int dy = 0; dy < factor; ++dy) {
            const uchar *row = image.constScanLine(y * factor + dy);
            for (int x = 0; x < w; ++x) {
                for (int dx = 0; dx < factor; ++dx)
                    sums[size_t(x)] += row[x * factor + dx];
            }
        }
        for (int x = 0; x < w; ++x)
            plane[size_t(y) * size_t(w) + size_t(x)] = quint8((sums[size_t(x)] + area / 2) / area);
    }
    return plane;
}

template <typename Moments>
bool relit(const Moments &m, int pixels)
{
    if (pixels < 4)
        return false;
    const double n = pixels;
    const double mb = m.b / n, mc = m.c / n;
    const double varB = m.bb / n - mb * mb;
    const double varC = m.cc / n - mc * mc;
    const double cov = m.bc / n - mb * mc;
    if (varB < double(kRelitMinDeviation * kRelitMinDeviation) || varC <= 0 || cov <= 0)
        return false;
    const double gain = cov / varB;
    const double correlation = cov / std::sqrt(varB * varC);
    return gain >= kRelitMinGain && gain <= kRelitMaxGain && correlation >= kRelitMinCorrelation;
}

} // namespace

SceneChangeDetector::SceneChangeDetector(DetectionOptions options)
    : m_options(std::move(options))
{
    m_noise.fill(kInitialNoise);
}

void SceneChangeDetector::setOptions(const DetectionOptions &options)
{
    m_options = options;
}

void SceneChangeDetector::reset()
{
    m_width = m_height = 0;
    m_background.clear();
    m_previous.clear();
    m_cellOfPixel.clear();
    m_noise.fill(kInitialNoise);
    m_stable.fill(0);
    m_colour.reset();
    m_inEvent = false;
    m_quiet = 0;
}

QRect SceneChangeDetector::cellRect(int cell, QSize size)
{
    const int column = cell % Columns;
    const int row = cell / Columns;
    const int x0 = column * size.width() / Columns;
    const int x1 = (column + 1) * size.width() / Columns;
    const int y0 = row * size.height() / Rows;
    const int y1 = (row + 1) * size.height() / Rows;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

void SceneChangeDetector::relearn(const std::vector<quint8> &picture)
{
    m_background.assign(picture.begin(), picture.end());
    m_previous = picture;
    m_stable.fill(0);
}

// Matches the background's brightness to the picture's: for each band of
// background levels, the median difference of the pixels in it (a change
// covering less than half a band's pixels cannot move it), joined into one
// map of levels. Any brightening or darkening that keeps the order of levels,
// clipping at white included, is followed; a change in one place is not.
std::array<float, 256> SceneChangeDetector::brightnessMap(const std::vector<quint8> &picture) const
{
    constexpr int kDiffs = 511;
    std::vector<int> histogram(size_t(kBands) * kDiffs, 0);
    std::array<qint64, kBands> levelSum{};
    std::array<int, kBands> count{};
    int total = 0;
    for (size_t i = 0; i < picture.size(); ++i) {
        const int cell = m_cellOfPixel[i];
        if (m_options.mask.isExcluded(cell))
            continue;
        const int level = int(m_background[i] + 0.5f);
        const int band = level / kBandWidth;
        ++histogram[size_t(band) * kDiffs + size_t(int(picture[i]) - level + 255)];
        levelSum[size_t(band)] += level;
        ++count[size_t(band)];
        ++total;
    }
    // Bands with too few pixels to say anything are left to their neighbours.
    const int enough = std::max(16, total / 400);
    std::vector<std::pair<float, float>> anchors; // (background level, offset)
    for (int band = 0; band < kBands; ++band) {
        const int n = count[size_t(band)];
        if (n < enough)
            continue;
        int seen = 0;
        int diff = 0;
        for (; diff < kDiffs; ++diff) {
            seen += histogram[size_t(band) * kDiffs + size_t(diff)];
            if (2 * seen >= n)
                break;
        }
        anchors.emplace_back(float(levelSum[size_t(band)]) / float(n), float(diff - 255));
    }
    std::array<float, 256> map{};
    for (int level = 0; level < 256; ++level) {
        float offset = 0.0f;
        if (!anchors.empty()) {
            if (level <= anchors.front().first) {
                offset = anchors.front().second;
            } else if (level >= anchors.back().first) {
                offset = anchors.back().second;
            } else {
                for (size_t a = 1; a < anchors.size(); ++a) {
                    if (level <= anchors[a].first) {
                        const auto [x0, y0] = anchors[a - 1];
                        const auto [x1, y1] = anchors[a];
                        offset = y0 + (y1 - y0) * (float(level) - x0) / std::max(x1 - x0, 1e-3f);
                        break;
                    }
                }
            }
        }
        map[size_t(level)] = std::clamp(float(level) + offset, 0.0f, 255.0f);
    }
    return map;
}

void SceneChangeDetector::endQuietPicture(SceneVerdict &verdict)
{
    if (m_inEvent && ++m_quiet >= std::max(1, m_options.quietToEnd)) {
        m_inEvent = false;
        m_quiet = 0;
        verdict.ended = true;
    }
    verdict.inEvent = m_inEvent;
}

SceneVerdict SceneChangeDetector::judge(const GreyPicture &picture)
{
    SceneVerdict verdict;
    if (picture.isNull())
        return verdict;
    int w = 0, h = 0;
    const QImage &image = picture.image().format() == QImage::Format_Grayscale8
                              ? picture.image()
                              : picture.image().convertToFormat(QImage::Format_Grayscale8);
    if (image.width() < Columns || image.height() < Rows)
        return verdict;
    const std::vector<quint8> current = workPlane(image, &w, &h);
    if (w < Columns || h < Rows)
        return verdict;

    // A camera switching between its colour and its grey night picture sees
    // every level move in its own way: start again from the new picture.
    bool colourSwitched = false;
    const double colourfulness = picture.colourfulness();
    const std::optional<bool> colour = colourfulness > kColourAbove ? std::optional<bool>(true)
                                       : colourfulness < kGreyBelow ? std::optional<bool>(false)
                                                                    : m_colour;
    if (colour && m_colour && *colour != *m_colour)
        colourSwitched = true;
    if (colour)
        m_colour = colour;

    if (w != m_width || h != m_height || m_background.empty()) {
        m_width = w;
        m_height = h;
        m_cellOfPixel.resize(current.size());
        for (int cell = 0; cell < Cells; ++cell) {
            const QRect r = cellRect(cell, QSize(w, h));
            for (int y = r.top(); y <= r.bottom(); ++y) {
                for (int x = r.left(); x <= r.right(); ++x)
                    m_cellOfPixel[size_t(y) * size_t(w) + size_t(x)] = qint16(cell);
            }
        }
        relearn(current);
        verdict.relearned = true;
        endQuietPicture(verdict);
        return verdict;
    }
    if (colourSwitched) {
        relearn(current);
        verdict.relearned = true;
        endQuietPicture(verdict);
        return verdict;
    }

    // Each cell's mean absolute difference from the brightness-matched
    // background, and from the previous picture (to tell a change that stays).
    const std::array<float, 256> map = brightnessMap(current);
    std::array<float, Cells> score{};
    std::array<float, Cells> shift{};
    std::array<float, Cells> moved{};
    std::array<int, Cells> pixels{};
    // Sums for each cell's own line between background and picture.
    struct Moments
    {
        double b = 0, c = 0, bb = 0, cc = 0, bc = 0;
    };
    std::array<Moments, Cells> moments{};
    for (size_t i = 0; i < current.size(); ++i) {
        const int cell = m_cellOfPixel[i];
        const float expected = map[size_t(int(m_background[i] + 0.5f))];
        const float difference = float(current[i]) - expected;
        shift[size_t(cell)] += difference;
        score[size_t(cell)] += std::abs(difference);
        moved[size_t(cell)] += float(std::abs(int(current[i]) - int(m_previous[i])));
        Moments &m = moments[size_t(cell)];
        const double b = m_background[i], c = current[i];
        m.b += b;
        m.c += c;
        m.bb += b * b;
        m.cc += c * c;
        m.bc += b * c;
        ++pixels[size_t(cell)];
    }

    const float factor = sensitivityFactor(m_options.sensitivity);
    std::array<float, Cells> threshold{};
    std::array<bool, Cells> changed{};
    int lookedAt = 0;
    int changedCount = 0;
    for (int c = 0; c < Cells; ++c) {
        const auto cell = size_t(c);
        const float n = float(std::max(pixels[cell], 1));
        const float meanShift = std::abs(shift[cell]) / n;
        score[cell] = meanShift + kTextureShare * (score[cell] / n - meanShift);
        moved[cell] /= float(std::max(pixels[cell], 1));
        threshold[cell] = factor * std::max(kFloor, kNoiseMultiple * m_noise[cell]);
        if (m_options.mask.isExcluded(c))
            continue;
        ++lookedAt;
        changed[cell] = score[cell] > threshold[cell] && !relit(moments[cell], pixels[cell]);
        changedCount += changed[cell] ? 1 : 0;
    }

    if (lookedAt > 0 && changedCount > kSwitchShare * lookedAt) {
        relearn(current);
        verdict.relearned = true;
        endQuietPicture(verdict);
        return verdict;
    }

    // Areas of touching changed cells (diagonals touch too).
    const int minCells =
        std::max(1, int(std::ceil(m_options.minAreaPercent / 100.0 * double(Cells) - 1e-9)));
    std::array<bool, Cells> inArea{};
    std::array<bool, Cells> visited{};
    std::vector<int> stack;
    std::vector<int> component;
    int areaCells = 0;
    for (int start = 0; start < Cells; ++start) {
        if (!changed[size_t(start)] || visited[size_t(start)])
            continue;
        component.clear();
        stack.assign(1, start);
        visited[size_t(start)] = true;
        while (!stack.empty()) {
            const int c = stack.back();
            stack.pop_back();
            component.push_back(c);
            const int cx = c % Columns, cy = c / Columns;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = cx + dx, ny = cy + dy;
                    if (nx < 0 || ny < 0 || nx >= Columns || ny >= Rows)
                        continue;
                    const int n = ny * Columns + nx;
                    if (changed[size_t(n)] && !visited[size_t(n)]) {
                        visited[size_t(n)] = true;
                        stack.push_back(n);
                    }
                }
            }
        }
        if (int(component.size()) >= minCells) {
            areaCells += int(component.size());
            for (const int c : component)
                inArea[size_t(c)] = true;
        }
    }

    verdict.changedCells = QBitArray(Cells);
    for (int c = 0; c < Cells; ++c)
        verdict.changedCells.setBit(c, changed[size_t(c)]);
    verdict.changed = areaCells > 0;
    verdict.changedPercent = 100.0 * areaCells / Cells;
    if (verdict.changed) {
        verdict.started = !m_inEvent;
        m_inEvent = true;
        m_quiet = 0;
        verdict.inEvent = true;
    } else {
        endQuietPicture(verdict);
    }

    // Learn. Noise from everything that is not part of a change, the
    // difference capped so one odd picture cannot blind a cell.
    for (int c = 0; c < Cells; ++c) {
        const auto cell = size_t(c);
        if (inArea[cell] || m_options.mask.isExcluded(c))
            continue;
        const float seen = std::min(score[cell], kNoiseMultiple * std::max(m_noise[cell], kFloor));
        m_noise[cell] += (seen > m_noise[cell] ? kNoiseRise : kNoiseFall) * (seen - m_noise[cell]);
    }
    std::array<bool, Cells> absorb{};
    for (int c = 0; c < Cells; ++c) {
        const auto cell = size_t(c);
        if (!changed[cell]) {
            m_stable[cell] = 0;
            continue;
        }
        m_stable[cell] = moved[cell] <= threshold[cell] ? m_stable[cell] + 1 : 0;
        if (m_stable[cell] >= kAbsorbAfter) {
            absorb[cell] = true;
            m_stable[cell] = 0;
        }
    }
    for (size_t i = 0; i < current.size(); ++i) {
        const auto cell = size_t(m_cellOfPixel[i]);
        if (absorb[cell])
            m_background[i] = current[i];
        else if (!changed[cell])
            m_background[i] += kBackgroundRate * (float(current[i]) - m_background[i]);
    }
    m_previous = current;
    return verdict;
}
