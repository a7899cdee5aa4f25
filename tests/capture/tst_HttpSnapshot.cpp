#include <gtest/gtest.h>

#include "HttpSnapshot.h"

using namespace HttpSnapshot;

TEST(HttpSnapshot, DisplayNameAndTexts)
{
    EXPECT_EQ(displayFileName(QStringLiteral("/cams/yard/snap.jpg")), QStringLiteral("snap.jpg"));
    EXPECT_EQ(displayFileName(QStringLiteral("/cgi/get?f=/x")), QStringLiteral("x"));
    EXPECT_EQ(displayFileName(QStringLiteral("/cams/")), QString());
    EXPECT_EQ(downloadingText(QString(), 50), QStringLiteral("Downloading  [50]"))
        << "an empty name leaves two blanks";

    EXPECT_EQ(singleText(75), QStringLiteral("75"));
    EXPECT_EQ(singleText(37.5f), QStringLiteral("37.5"));
    EXPECT_EQ(singleText(100), QStringLiteral("100"));
    EXPECT_EQ(singleText(0), QStringLiteral("0"));
    EXPECT_EQ(singleText(progressPercent(1, 3)), QStringLiteral("33.33333"));
    EXPECT_EQ(singleText(progressPercent(2, 3)), QStringLiteral("66.66666"));
    EXPECT_EQ(singleText(0.1f), QStringLiteral("0.1"));
    EXPECT_EQ(singleText(progressPercent(1, 67108864)), QStringLiteral("1.490116E-06"));

    EXPECT_EQ(numberText(29), QStringLiteral("29"));
    EXPECT_EQ(numberText(2.5 - 1), QStringLiteral("1.5"));
    EXPECT_EQ(numberText(-3), QStringLiteral("-3"));
    EXPECT_EQ(numberText(2147483647.0 - 1), QStringLiteral("2147483646"));
}
