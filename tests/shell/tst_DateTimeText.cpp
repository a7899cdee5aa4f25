#include <gtest/gtest.h>

#include <QLocale>
#include <QRegularExpression>

#include "DateTimeText.h"
#include "ScopedHooks.h"

TEST(DateTimeText, FixedFormsWithEnglishAmPmWhateverTheLocale)
{
    const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));

    EXPECT_EQ(DateTimeText::dateText(QDate(2026, 7, 12)), QStringLiteral("7/12/2026"));
    EXPECT_EQ(DateTimeText::dateText(QDate(2026, 12, 1)), QStringLiteral("12/1/2026"));
    EXPECT_EQ(DateTimeText::timeText(QTime(8, 5, 9)), QStringLiteral("8:05:09 AM"));
    EXPECT_EQ(DateTimeText::timeText(QTime(0, 0, 0)), QStringLiteral("12:00:00 AM"));
    EXPECT_EQ(DateTimeText::timeText(QTime(12, 30, 0)), QStringLiteral("12:30:00 PM"));
    EXPECT_EQ(DateTimeText::timeText(QTime(23, 59, 59)), QStringLiteral("11:59:59 PM"));
    EXPECT_EQ(DateTimeText::dateTimeText(QDateTime(QDate(2026, 7, 12), QTime(20, 5, 9))),
              QStringLiteral("7/12/2026 8:05:09 PM"));

    // The current texts have the same shapes.
    const QString now = DateTimeText::currentDateTimeText();
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M$"))
                    .match(now)
                    .hasMatch())
        << now.toStdString();
}
