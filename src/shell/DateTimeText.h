#pragma once

#include <QDateTime>
#include <QString>

// The program's fixed date and time texts: "7/12/2026" and "8:05:09 AM", with
// English AM/PM whatever the user's locale. The panel's "last refreshed" text,
// the time in save messages and the saved picture names all use these forms;
// the picture-name rule strips exactly two "/" and three ":", which these forms
// are made for.
namespace DateTimeText {

// M/d/yyyy, e.g. "7/12/2026".
QString dateText(const QDate &date);
// h:mm:ss AP, e.g. "8:05:09 AM".
QString timeText(const QTime &time);
// Date, one blank, time: "7/12/2026 8:05:09 AM".
QString dateTimeText(const QDateTime &moment);

// The same texts for the current local date and time.
QString currentDateText();
QString currentTimeText();
QString currentDateTimeText();

} // namespace DateTimeText
