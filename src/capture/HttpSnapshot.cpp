#include "HttpSnapshot.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace HttpSnapshot {

QString displayFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

float progressPercent(qint32 bytesReceived, qint32 contentLength)
{
    return float(double(bytesReceived) / (double(contentLength) / 100.0));
}

QString singleText(float value)
{
    if (!std::isfinite(value))
        return QString::number(double(value));
    // The fewest significant digits (at most seven) that still name this value.
    char buffer[64];
    int digits = 1;
    for (; digits < 7; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, double(value));
        if (std::strtof(buffer, nullptr) == value)
            break;
    }
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, double(value));
    const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    if (exponent < -5 || exponent >= 7) {
        // Too small or too large for plain digits: 1.490116E-06.
        QString text = QString::fromLatin1(buffer).toUpper();
        const qsizetype e = text.indexOf(QLatin1Char('E'));
        QString mantissa = text.left(e);
        if (mantissa.contains(QLatin1Char('.'))) {
            while (mantissa.endsWith(QLatin1Char('0')))
                mantissa.chop(1);
            if (mantissa.endsWith(QLatin1Char('.')))
                mantissa.chop(1);
        }
        return mantissa + text.mid(e);
    }
    std::snprintf(buffer, sizeof buffer, "%.*f", qMax(0, digits - 1 - exponent), double(value));
    QString text = QString::fromLatin1(buffer);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    char buffer[512];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return QString::number(value, 'g', 17);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString downloadingText(const QString &fileName, float percent)
{
    return QStringLiteral("Downloading ") + fileName + QStringLiteral(" [") + singleText(percent) +
           QLatin1Char(']');
}

} // namespace HttpSnapshot
