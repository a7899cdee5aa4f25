#include <gtest/gtest.h>

#include "ChangeDetector.h"

namespace {
const QByteArray Plain = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg";
}

TEST(ChangeDetector, LastModifiedDecidesWhenSent)
{
    ChangeDetector detector;
    const QByteArray header = Plain + "\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT";
    // Same line recorded: not new, however much the body changed.
    const auto same =
        detector.judge(header, "a", QStringLiteral("Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT"));
    EXPECT_EQ(same.basis, ChangeDetector::Basis::LastModified);
    EXPECT_FALSE(same.isNew);
    EXPECT_FALSE(
        detector.judge(header, "b", QStringLiteral("Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT"))
            .isNew);
    // A different recorded line: new.
    EXPECT_TRUE(
        detector.judge(header, "b", QStringLiteral("Last-Modified: Sun, 31 Dec 2023 00:00:00 GMT"))
            .isNew);
    // Nothing recorded yet (first of a run): not new.
    EXPECT_FALSE(detector.judge(header, "c", QString()).isNew);
}

TEST(ChangeDetector, ETagSequences)
{
    ChangeDetector detector;
    const auto tagged = [](const char *etag) { return Plain + "\r\nETag: " + etag; };
    const struct
    {
        const char *etag;
        const char *body;
        bool isNew;
    } rows[] = {
        {"\"1\"", "x", false}, // the first of the run
        {"\"1\"", "y", false}, // same tag, changed bytes: the tag decides
        {"\"2\"", "y", true},   {"\"2\"", "y", false},
        {"W/\"3\"", "y", true}, {"\"1\"", "y", true}, // back to an old tag is a change too
    };
    int row = 0;
    for (const auto &r : rows) {
        const auto outcome = detector.judge(tagged(r.etag), r.body, QString());
        EXPECT_EQ(outcome.basis, ChangeDetector::Basis::ETag) << "row " << row;
        EXPECT_EQ(outcome.isNew, r.isNew) << "row " << row;
        ++row;
    }
    EXPECT_EQ(ChangeDetector::etagOf("HTTP/1.1 200 OK\r\netag:   \"a b\"  \r\nX: y"),
              QByteArray("\"a b\""));
    EXPECT_TRUE(ChangeDetector::etagOf(Plain).isEmpty());
}

TEST(ChangeDetector, ContentHashDecidesWithoutEitherLine)
{
    ChangeDetector detector;
    const char *bodies[] = {"one", "one", "two", "two", "one"};
    const bool expected[] = {false, false, true, false, true};
    for (int i = 0; i < 5; ++i) {
        const auto outcome = detector.judge(Plain, bodies[i], QString());
        EXPECT_EQ(outcome.basis, ChangeDetector::Basis::ContentHash) << i;
        EXPECT_EQ(outcome.isNew, expected[i]) << i;
    }
    // A new run starts without a previous picture.
    detector.reset();
    EXPECT_FALSE(detector.judge(Plain, "three", QString()).isNew);
    EXPECT_NE(ChangeDetector::contentHash("a"), ChangeDetector::contentHash("b"));
    EXPECT_EQ(ChangeDetector::contentHash("a"), ChangeDetector::contentHash("a"));
}
