#include <gtest/gtest.h>

#include "DetectionSettings.h"
#include "Settings.h"
#include "TestEnv.h"

TEST(DetectionSettings, StoredOptionsReadBackPerCameraAndAStrangeMaskIsDropped)
{
    TestEnv::freshConfigDirectory();
    const QString door = QStringLiteral("Front Door");
    const DetectionOptions fresh = DetectionSettings::load(door);
    EXPECT_EQ(fresh.sensitivity, DetectionOptions::DefaultSensitivity);
    EXPECT_EQ(fresh.minAreaPercent, DetectionOptions::DefaultMinAreaPercent);
    EXPECT_TRUE(fresh.mask.isEmpty());

    DetectionOptions options;
    options.sensitivity = 80;
    options.minAreaPercent = 2.5;
    options.mask.setExcluded(3, 4, true);
    options.mask.setExcluded(20, 17, true);
    ASSERT_TRUE(DetectionSettings::store(door, options));

    const DetectionOptions back = DetectionSettings::load(door);
    EXPECT_EQ(back.sensitivity, 80);
    EXPECT_DOUBLE_EQ(back.minAreaPercent, 2.5);
    EXPECT_EQ(back.mask, options.mask);
    EXPECT_TRUE(DetectionSettings::load(QStringLiteral("Yard")).mask.isEmpty());

    ASSERT_TRUE(Settings::setDetectionMask(door, QStringLiteral("32x24:ffff")));
    EXPECT_TRUE(DetectionSettings::load(door).mask.isEmpty());
    EXPECT_EQ(DetectionSettings::load(door).sensitivity, 80);
}
