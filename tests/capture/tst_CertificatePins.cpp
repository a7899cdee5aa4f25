#include <gtest/gtest.h>

#include "CertificatePins.h"
#include "TestEnv.h"

TEST(CertificatePins, StoredPerHostAndPortInTheUserSettings)
{
    TestEnv::freshConfigDirectory();
    const QByteArray sha(32, '\x5a');
    EXPECT_TRUE(CertificatePins::pinFor(QStringLiteral("cam:443")).isEmpty());
    EXPECT_TRUE(CertificatePins::trust(QStringLiteral("Cam:443"), sha));
    EXPECT_EQ(CertificatePins::pinFor(QStringLiteral("cam:443")), sha) << "host names in any case";
    EXPECT_TRUE(CertificatePins::pinFor(QStringLiteral("cam:8443")).isEmpty()) << "another port";
    EXPECT_TRUE(CertificatePins::pinFor(QStringLiteral("[::1]:443")).isEmpty());
    EXPECT_FALSE(CertificatePins::trust(QStringLiteral("cam:1"), QByteArray(31, 'x')));
    EXPECT_TRUE(CertificatePins::forget(QStringLiteral("cam:443")));
    EXPECT_TRUE(CertificatePins::pinFor(QStringLiteral("cam:443")).isEmpty());
}
