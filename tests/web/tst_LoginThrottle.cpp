#include <gtest/gtest.h>

#include "LoginThrottle.h"

// Failed logins are counted per address in a sliding minute.

TEST(LoginThrottle, FiveFailuresAMinuteHoldAnAddressUntilTheOldestIsAMinuteOld)
{
    LoginThrottle throttle;
    const QString phone = QStringLiteral("192.168.1.20");
    const qint64 times[] = {0, 1000, 2000, 30000, 59000};
    for (const qint64 t : times) {
        EXPECT_EQ(throttle.retryAfterSeconds(phone, t), 0) << t;
        throttle.failed(phone, t);
    }
    EXPECT_EQ(throttle.retryAfterSeconds(phone, 59000), 1);
    EXPECT_EQ(throttle.retryAfterSeconds(phone, 40000), 20);
    EXPECT_EQ(throttle.retryAfterSeconds(QStringLiteral("192.168.1.21"), 40000), 0);
    EXPECT_EQ(throttle.retryAfterSeconds(phone, 60000), 0) << "the first failure left";
    throttle.failed(phone, 60000);
    EXPECT_EQ(throttle.retryAfterSeconds(phone, 60500), 1) << "the second is still there";
    throttle.succeeded(phone);
    EXPECT_EQ(throttle.retryAfterSeconds(phone, 60500), 0);
}

TEST(LoginThrottle, ManyAddressesDoNotGrowTheTableWithoutEnd)
{
    LoginThrottle throttle;
    const QString held = QStringLiteral("10.0.0.1");
    for (int i = 0; i < LoginThrottle::Limit; ++i)
        throttle.failed(held, 100000);
    // An attacker with thousands of addresses, each failing once a long while ago.
    for (size_t i = 0; i < LoginThrottle::MaxAddresses + 100; ++i)
        throttle.failed(QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256), qint64(i));
    // The busy, recent address is among the kept ones.
    EXPECT_GT(throttle.retryAfterSeconds(held, 100001), 0);
}
