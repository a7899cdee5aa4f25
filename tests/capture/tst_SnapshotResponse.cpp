#include <gtest/gtest.h>

#include "SnapshotResponse.h"

using SnapshotResponse::detectChange;

TEST(SnapshotResponse, AnImageIsAnyHeaderNamingAnImageType)
{
    EXPECT_FALSE(SnapshotResponse::isImage(QByteArray()));
    EXPECT_TRUE(SnapshotResponse::isImage("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg"));
    EXPECT_TRUE(SnapshotResponse::isImage("HTTP/1.1 200 OK\r\nContent-Type: IMAGE/GIF"));
    // The status code is not examined; "image/" anywhere counts.
    EXPECT_TRUE(SnapshotResponse::isImage("HTTP/1.1 404 Not Found\r\nX-Hint: see image/x"));
    EXPECT_FALSE(SnapshotResponse::isImage("HTTP/1.1 200 OK\r\nContent-Type: text/html"));
    EXPECT_FALSE(SnapshotResponse::isImage("HTTP/1.1 200 OK\r\nContent-Type: image"));
}

TEST(SnapshotResponse, LastModifiedSequences)
{
    const QByteArray monday = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                              "Last-Modified: Mon, 06 Jul 2026 08:00:00 GMT\r\nX: y";
    const QByteArray tuesday = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                               "Last-Modified: Tue, 07 Jul 2026 08:00:00 GMT";
    const QByteArray shouted = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                               "LAST-MODIFIED: Tue, 07 Jul 2026 08:00:00 GMT";

    // First line seen: recorded, not new; the blank after the colon stays in the text.
    const auto first = detectChange(monday, QString());
    EXPECT_TRUE(first.hasLine);
    EXPECT_EQ(first.line, QStringLiteral("Last-Modified: Mon, 06 Jul 2026 08:00:00 GMT"));
    EXPECT_EQ(first.updatedText, QStringLiteral(" Mon, 06 Jul 2026 08:00:00 GMT"));
    EXPECT_TRUE(first.record);
    EXPECT_FALSE(first.isNew);

    // The same line again: nothing recorded, not new.
    const auto same = detectChange(monday, first.line);
    EXPECT_FALSE(same.record);
    EXPECT_FALSE(same.isNew);
    EXPECT_EQ(same.updatedText, first.updatedText);

    // A changed line: recorded and new.
    const auto changed = detectChange(tuesday, first.line);
    EXPECT_TRUE(changed.record);
    EXPECT_TRUE(changed.isNew);
    EXPECT_EQ(changed.line, QStringLiteral("Last-Modified: Tue, 07 Jul 2026 08:00:00 GMT"));

    // The same date in other letters is a change; the word is found and removed in any case.
    const auto caseChange = detectChange(shouted, changed.line);
    EXPECT_TRUE(caseChange.isNew);
    EXPECT_EQ(caseChange.line, QStringLiteral("LAST-MODIFIED: Tue, 07 Jul 2026 08:00:00 GMT"));
    EXPECT_EQ(caseChange.updatedText, QStringLiteral(" Tue, 07 Jul 2026 08:00:00 GMT"));

    // No line at all: never new, nothing recorded, whatever was recorded before.
    for (const QString &recorded : {QString(), changed.line}) {
        const auto none = detectChange("HTTP/1.1 200 OK\r\nContent-Type: image/png", recorded);
        EXPECT_FALSE(none.hasLine);
        EXPECT_FALSE(none.record);
        EXPECT_FALSE(none.isNew);
    }
}
