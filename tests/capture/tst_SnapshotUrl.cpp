#include <gtest/gtest.h>

#include "SnapshotUrl.h"

TEST(SnapshotUrl, SplitsHostAndPathWithOrWithoutTheLowerCasePrefix)
{
    const auto withPrefix = SnapshotUrl::split(QStringLiteral("http://h/snap.jpg"));
    const auto without = SnapshotUrl::split(QStringLiteral("h/snap.jpg"));
    ASSERT_TRUE(withPrefix && without);
    for (const SnapshotUrl &url : {*withPrefix, *without}) {
        EXPECT_EQ(url.host, QStringLiteral("h"));
        EXPECT_EQ(url.path, QStringLiteral("/snap.jpg"));
        EXPECT_EQ(url.connectHost, QStringLiteral("h"));
        EXPECT_EQ(url.port, 80);
    }

    // Query and fragment belong to the path; only the first "/" splits.
    const auto query = SnapshotUrl::split(QStringLiteral("http://cam.local/a/b.cgi?x=1&y=/2#f"));
    ASSERT_TRUE(query);
    EXPECT_EQ(query->host, QStringLiteral("cam.local"));
    EXPECT_EQ(query->path, QStringLiteral("/a/b.cgi?x=1&y=/2#f"));

    // The prefix test is case-sensitive and knows no other scheme.
    const auto capitals = SnapshotUrl::split(QStringLiteral("HTTP://h/snap.jpg"));
    ASSERT_TRUE(capitals);
    EXPECT_EQ(capitals->host, QStringLiteral("HTTP:"));
    EXPECT_EQ(capitals->path, QStringLiteral("//h/snap.jpg"));
    EXPECT_EQ(capitals->port, 80);
    const auto https = SnapshotUrl::split(QStringLiteral("https://h/snap.jpg"));
    ASSERT_TRUE(https);
    EXPECT_EQ(https->host, QStringLiteral("https:"));

    // No "/" after the host: nothing to fetch.
    EXPECT_FALSE(SnapshotUrl::split(QStringLiteral("http://h")));
    EXPECT_FALSE(SnapshotUrl::split(QStringLiteral("camera.example")));
    EXPECT_FALSE(SnapshotUrl::split(QString()));
}

TEST(SnapshotUrl, APortAfterTheHostIsConnectedToAndKeptInTheHostText)
{
    const auto url = SnapshotUrl::split(QStringLiteral("http://h:8080/snap.jpg"));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, QStringLiteral("h:8080")) << "the Host line keeps host:port";
    EXPECT_EQ(url->connectHost, QStringLiteral("h"));
    EXPECT_EQ(url->port, 8080);

    const auto edges = SnapshotUrl::split(QStringLiteral("10.0.0.5:65535/a"));
    ASSERT_TRUE(edges);
    EXPECT_EQ(edges->connectHost, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(edges->port, 65535);
    const auto one = SnapshotUrl::split(QStringLiteral("h:1/a"));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->port, 1);

    const auto bracketed = SnapshotUrl::split(QStringLiteral("http://[::1]:8081/a"));
    ASSERT_TRUE(bracketed);
    EXPECT_EQ(bracketed->host, QStringLiteral("[::1]:8081"));
    EXPECT_EQ(bracketed->connectHost, QStringLiteral("::1"));
    EXPECT_EQ(bracketed->port, 8081);

    // Anything that is not ":" and a port from 1 to 65535 stays as written, on port 80.
    for (const char *host :
         {"h:0", "h:65536", "h:", "h:80a", "h:-1", "h:+80", "h:123456", "h: 80"}) {
        const auto plain = SnapshotUrl::split(QString::fromLatin1(host) + QStringLiteral("/a"));
        ASSERT_TRUE(plain) << host;
        EXPECT_EQ(plain->host, QString::fromLatin1(host));
        EXPECT_EQ(plain->connectHost, QString::fromLatin1(host)) << host;
        EXPECT_EQ(plain->port, 80) << host;
    }
}
