#include "DateTimeText.h"

#include <QLocale>

namespace DateTimeText {

QString dateText(const QDate &date)
{
    return QLocale::c().toString(date, QStringLiteral("M/d/yyyy"));
}

QString timeText(const QTime &time)
{
    return QLocale::c().toString(time, QStringLiteral("h:mm:ss AP"));
}

QString dateTimeText(const QDateTime &moment)
{
    return dateText(moment.date()) + QLatin1Char(' ') + timeText(moment.time());
}

QString currentDateText()
{
    return dateText(QDate::currentDate());
}

QString currentTimeText()
{
    return timeText(QTime::currentTime());
}

QString currentDateTimeText()
{
    return dateTimeText(QDateTime::currentDateTime());
}

} // namespace DateTimeText
