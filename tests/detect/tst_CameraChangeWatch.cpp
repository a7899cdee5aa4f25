#include <gtest/gtest.h>

#include "CameraChangeWatch.h"

TEST(CameraChangeWatch, DurationsReadAsPeopleSayThem)
{
    const std::pair<qint64, const char *> rows[] = {{-4, "0 s"},           {8, "8 s"},
                                                    {59, "59 s"},          {72, "1 min 12 s"},
                                                    {3599, "59 min 59 s"}, {7500, "2 h 5 min"}};
    for (const auto &[seconds, text] : rows)
        EXPECT_EQ(CameraChangeWatch::durationText(seconds), QLatin1String(text)) << seconds;
}
