#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>

#include "CameraChangeWatch.h"

namespace {

// A JPEG of a quiet, slightly noisy yard, with a dark box of about 4 % of the
// picture when `box` is set: what a camera sends.
QByteArray yard(int i, bool box)
{
    QImage image(480, 270, QImage::Format_RGB32);
    quint32 state = quint32(i) * 2654435761u + 7;
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int g = 90 + (x / 40 + y / 30) % 3 * 30 + int(state >> 30);
            row[x] = qRgb(g, g + 10, g - 10);
        }
    }
    if (box)
        QPainter(&image).fillRect(200, 120, 100, 50, QColor(20, 20, 30));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return jpeg;
}

} // namespace

TEST(CameraChangeWatch, TellsStartAndEndAndSavesTheChangeWhenCapturing)
{
    CameraChangeWatch watch(QStringLiteral("Yard"));
    watch.setCapturing(true);
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1796774400, Qt::UTC);
    const QString boxes = QStringLiteral("...XX.....");
    QStringList lines;
    QList<int> saved;
    for (int i = 0; i < boxes.size(); ++i) {
        const QByteArray jpeg = yard(i, boxes[i] == QLatin1Char('X'));
        const auto outcome = watch.offer(jpeg, t0.addSecs(10 * i));
        lines << outcome.lines;
        for (const ChangeCapture::Save &save : outcome.saves)
            saved << int(t0.secsTo(save.time) / 10);
    }
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("change started Yard (")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" % of the picture)")));
    // Started at picture 3, ended by the second quiet picture (6): 30 s.
    EXPECT_EQ(lines[1], QStringLiteral("change ended Yard after 30 s"));
    EXPECT_EQ(saved, (QList<int>{2, 3, 4, 5, 6}));
    EXPECT_FALSE(watch.inChange());

    // Not capturing: the lines still come, nothing is to be saved.
    CameraChangeWatch quiet(QStringLiteral("Gate"));
    int saves = 0;
    for (int i = 0; i < boxes.size(); ++i)
        saves +=
            int(quiet.offer(yard(i, boxes[i] == QLatin1Char('X')), t0.addSecs(i)).saves.size());
    EXPECT_EQ(saves, 0);
}

TEST(CameraChangeWatch, DurationsReadAsPeopleSayThem)
{
    const std::pair<qint64, const char *> rows[] = {{-4, "0 s"},           {8, "8 s"},
                                                    {59, "59 s"},          {72, "1 min 12 s"},
                                                    {3599, "59 min 59 s"}, {7500, "2 h 5 min"}};
    for (const auto &[seconds, text] : rows)
        EXPECT_EQ(CameraChangeWatch::durationText(seconds), QLatin1String(text)) << seconds;
}
