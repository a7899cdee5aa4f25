#include "HttpSnapshot.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "PanelStatus.h"

namespace HttpSnapshot {

QByteArray requestBytes(const QString &host, QString &path)
{
    path.replace(QLatin1Char(' '), QLatin1String("%20"));
    QByteArray request;
    request.reserve(64 + path.size() + host.size());
    request += "GET " + path.toUtf8() + " HTTP/1.1\r\n";
    request += "Host: " + host.toUtf8() + "\r\n";
    request += "Connection: close\r\n";
    request += "Accept: */*\r\n";
    request += "\r\n";
    return request;
}

QString displayFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

qint32 headerEndPosition(const QByteArray &buffer)
{
    // Only a header end starting at or before the limit counts, so there is no
    // point in looking further: a long body never makes the scan slow.
    const QByteArrayView window =
        QByteArrayView(buffer).first(qMin(buffer.size(), qsizetype(HeaderScanLimit) + 3));
    const qsizetype index = window.indexOf(QByteArrayView("\r\n\r\n"));
    if (index < 0 || index + 1 > HeaderScanLimit)
        return 0;
    return qint32(index + 1);
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A decimal whole number with optional sign and surrounding blanks, in range.
std::optional<qint32> wholeNumber(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return std::nullopt;
    }
    qint32 value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

} // namespace

qint32 contentLength(QByteArrayView header, qint32 current)
{
    qsizetype start = 0;
    while (start <= header.size()) {
        qsizetype end = header.indexOf(QByteArrayView("\r\n"), start);
        if (end < 0)
            end = header.size();
        const QByteArrayView line = header.sliced(start, end - start);
        if (line.contains(QByteArrayView("Content-Length"))) {
            const qsizetype blank = line.indexOf(' ');
            if (blank < 0)
                return current;
            return wholeNumber(line.sliced(blank + 1)).value_or(current);
        }
        start = end + 2;
    }
    return current;
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

Arrival receive(SnapshotFetch &fetch, const QByteArray &data)
{
    Arrival arrival;
    if (qint64(fetch.buffer.size()) + data.size() > MaxResponseBytes) {
        arrival.overCap = true;
        return arrival;
    }
    const QString fileName = displayFileName(fetch.path);
    fetch.buffer.append(data);
    fetch.bytesReceived += qint32(data.size());

    if (fetch.headerDone) {
        if (fetch.contentLength < 1)
            return arrival;
        const float percent = progressPercent(fetch.bytesReceived, fetch.contentLength);
        // The bar refuses values outside its range and keeps the one it had.
        if (percent >= 0 && percent <= 100)
            fetch.progress = percent;
        arrival.progressShown = true;
        arrival.statusText = downloadingText(fileName, fetch.progress);
        return arrival;
    }

    const qint32 position = headerEndPosition(fetch.buffer);
    if (position == 0)
        return arrival;
    arrival.headerFound = true;
    fetch.headerDone = true;
    fetch.bytesReceived = fetch.bytesReceived - position - 3;
    fetch.contentLength =
        contentLength(QByteArrayView(fetch.buffer).first(position - 1), fetch.contentLength);
    // Room for the announced body at once: growing a buffer of a few hundred
    // kilobytes piece by piece costs more in fresh pages than the scan itself.
    // Only up to ReserveLimit, so an inflated length reserves nothing much.
    if (fetch.contentLength > 0) {
        const qint64 whole = qint64(position) + 3 + fetch.contentLength;
        fetch.buffer.reserve(qsizetype(qMin(whole, qint64(ReserveLimit))));
    }
    return arrival;
}

} // namespace HttpSnapshot
