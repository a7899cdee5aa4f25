#include "CellMask.h"

namespace {

QString gridPrefix()
{
    return QStringLiteral("%1x%2:").arg(CellMask::Columns).arg(CellMask::Rows);
}

} // namespace

CellMask::CellMask()
    : m_excluded(Cells)
{
}

bool CellMask::isExcluded(int column, int row) const
{
    if (column < 0 || column >= Columns || row < 0 || row >= Rows)
        return false;
    return m_excluded.testBit(row * Columns + column);
}

void CellMask::setExcluded(int column, int row, bool excluded)
{
    if (column < 0 || column >= Columns || row < 0 || row >= Rows)
        return;
    m_excluded.setBit(row * Columns + column, excluded);
}

QString CellMask::toText() const
{
    if (isEmpty())
        return QString();
    QString text = gridPrefix();
    for (int i = 0; i < Cells; i += 4) {
        int digit = 0;
        for (int b = 0; b < 4; ++b)
            digit = digit << 1 | (i + b < Cells && m_excluded.testBit(i + b) ? 1 : 0);
        text += QLatin1Char("0123456789abcdef"[digit]);
    }
    return text;
}

std::optional<CellMask> CellMask::fromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    CellMask mask;
    if (trimmed.isEmpty())
        return mask;
    const QString prefix = gridPrefix();
    if (!trimmed.startsWith(prefix) || trimmed.size() != prefix.size() + (Cells + 3) / 4)
        return std::nullopt;
    for (int i = 0; i < Cells; i += 4) {
        bool ok = false;
        const int digit = QStringView(trimmed).mid(prefix.size() + i / 4, 1).toInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        for (int b = 0; b < 4 && i + b < Cells; ++b)
            mask.m_excluded.setBit(i + b, (digit >> (3 - b)) & 1);
    }
    return mask;
}
