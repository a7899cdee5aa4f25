#pragma once

#include <optional>

#include <QBitArray>
#include <QString>

// Which cells of the detection grid a camera ignores (a tree, a road, the
// camera's own clock). The grid is fixed in proportion to the picture, not in
// pixels, so one mask fits the window's panel decode and the recorder's
// smaller or larger decode of the same camera alike.
class CellMask
{
public:
    static constexpr int Columns = 24;
    static constexpr int Rows = 18;
    static constexpr int Cells = Columns * Rows;

    CellMask();

    bool isExcluded(int column, int row) const;
    bool isExcluded(int cell) const { return m_excluded.testBit(cell); }
    void setExcluded(int column, int row, bool excluded);
    bool isEmpty() const { return m_excluded.count(true) == 0; }
    int excludedCount() const { return int(m_excluded.count(true)); }

    // "24x18:" and one hex digit for every four cells, row by row, first cell
    // in the highest bit; "" for a mask that excludes nothing. One line of
    // plain text, so it sits in a settings file as it is.
    QString toText() const;
    // The reading of toText(); nothing for text of another grid or shape.
    // The empty text is the empty mask.
    static std::optional<CellMask> fromText(const QString &text);

    friend bool operator==(const CellMask &a, const CellMask &b)
    {
        return a.m_excluded == b.m_excluded;
    }

private:
    QBitArray m_excluded;
};
