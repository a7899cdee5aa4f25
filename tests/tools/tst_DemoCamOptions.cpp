#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include <QStringList>

#include "DemoCamOptions.h"

namespace {

DemoCamOptions::Parsed parse(const QString &line)
{
    return DemoCamOptions::parse(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

} // namespace

TEST(DemoCamOptions, DefaultsServeFourCamerasAtSevenTwentyP)
{
    const auto p = parse(QString());
    ASSERT_EQ(p.action, DemoCamOptions::Action::Run);
    EXPECT_EQ(p.options.port, 0);
    EXPECT_EQ(p.options.cameras, 4);
    EXPECT_EQ(p.options.size, QSize(1280, 720));
    EXPECT_EQ(p.options.quality, 85);
    EXPECT_EQ(p.options.slowBytesPerSecond, 0);
    const QList<int> periods{p.options.changeEveryFor(1), p.options.changeEveryFor(2),
                             p.options.changeEveryFor(3), p.options.changeEveryFor(4)};
    EXPECT_EQ(periods, (QList<int>{2, 3, 4, 5}));
    EXPECT_EQ(p.options.brokenFor(1), BrokenMode::None);
    EXPECT_FALSE(p.options.daytimePort) << "no daytime server unless asked for";
    EXPECT_EQ(p.options.scene, DemoSceneKind::Shapes);
}

TEST(DemoCamOptions, SceneNamesEveryKindAndReadsBack)
{
    const QStringList names = DemoCamScene::kindNames();
    EXPECT_EQ(names, (QStringList{"shapes", "still", "dawn", "lights", "walker", "small", "clock",
                                  "rain"}));
    for (const QString &name : names) {
        const auto p = parse(QStringLiteral("--scene ") + name);
        ASSERT_EQ(p.action, DemoCamOptions::Action::Run) << p.message.toStdString();
        EXPECT_EQ(DemoCamScene::kindName(p.options.scene), name);
    }
    EXPECT_TRUE(DemoCamOptions::usage().contains(names.join(QLatin1Char('|'))));
}

TEST(DemoCamOptions, ReadsEveryOptionInBothSpellings)
{
    const auto p = parse(QStringLiteral("--port 8081 --cameras=24 --size 1920x1080 "
                                        "--change-every=1 --quality 90 --slow=50000 "
                                        "--broken never-answer --broken 3:html "
                                        "--daytime-port=1313"));
    ASSERT_EQ(p.action, DemoCamOptions::Action::Run) << p.message.toStdString();
    EXPECT_EQ(p.options.port, 8081);
    EXPECT_EQ(p.options.cameras, 24);
    EXPECT_EQ(p.options.size, QSize(1920, 1080));
    EXPECT_EQ(p.options.changeEveryFor(17), 1);
    EXPECT_EQ(p.options.quality, 90);
    EXPECT_EQ(p.options.slowBytesPerSecond, 50000);
    EXPECT_EQ(p.options.brokenFor(1), BrokenMode::NeverAnswer);
    EXPECT_EQ(p.options.brokenFor(3), BrokenMode::Html);
    EXPECT_EQ(p.options.daytimePort, std::optional<quint16>(1313));

    // A list of periods is taken in turn by the cameras.
    const auto list = parse(QStringLiteral("--cameras 5 --change-every 7,11"));
    ASSERT_EQ(list.action, DemoCamOptions::Action::Run);
    EXPECT_EQ(list.options.changeEveryFor(1), 7);
    EXPECT_EQ(list.options.changeEveryFor(2), 11);
    EXPECT_EQ(list.options.changeEveryFor(5), 7);

    // A camera named by --broken may come before the --cameras that makes it exist.
    EXPECT_EQ(parse(QStringLiteral("--broken 6:garbage --cameras 6")).action,
              DemoCamOptions::Action::Run);

    for (const char *name :
         {"truncate", "html", "no-last-modified", "no-length", "lowercase-headers", "huge-header",
          "bad-jpeg", "garbage", "never-answer"}) {
        const QString mode = QString::fromLatin1(name);
        const auto m = DemoCamOptions::brokenModeFromName(mode);
        ASSERT_TRUE(m.has_value()) << name;
        EXPECT_EQ(DemoCamOptions::brokenModeName(*m), mode);
        EXPECT_TRUE(DemoCamOptions::usage().contains(mode)) << name;
    }
}

TEST(DemoCamOptions, HelpAndVersionEndWithZero)
{
    const auto help = parse(QStringLiteral("--port 1 --help --bogus"));
    EXPECT_EQ(help.action, DemoCamOptions::Action::Help);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.message.startsWith(QLatin1String("Usage: tessaly-democam")));

    const auto version = parse(QStringLiteral("--version"));
    EXPECT_EQ(version.action, DemoCamOptions::Action::Version);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.message.startsWith(QLatin1String("tessaly-democam ")));
}

// A command line that must be refused, and a word the refusal must use.
struct BadLine
{
    const char *line;
    const char *mentions;
};

void PrintTo(const BadLine &bad, std::ostream *out)
{
    *out << bad.line;
}

// "--port 65536" becomes 4_Port65536: the index keeps the names apart.
std::string badLineName(const testing::TestParamInfo<BadLine> &info)
{
    std::string name = std::to_string(info.index) + '_';
    bool upper = true;
    for (const char *c = info.param.line; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c))) {
            upper = true;
            continue;
        }
        name += upper ? char(std::toupper(static_cast<unsigned char>(*c))) : *c;
        upper = false;
    }
    return name;
}

class DemoCamBadLines : public testing::TestWithParam<BadLine>
{
};

TEST_P(DemoCamBadLines, FailWithExitCodeTwoAndSayWhy)
{
    const auto p = parse(QString::fromLatin1(GetParam().line));
    EXPECT_EQ(p.action, DemoCamOptions::Action::Fail);
    EXPECT_EQ(p.exitCode, 2);
    EXPECT_TRUE(p.message.contains(QLatin1String(GetParam().mentions))) << p.message.toStdString();
    EXPECT_TRUE(p.message.contains(QLatin1String("--help")));
}

INSTANTIATE_TEST_SUITE_P(Lines, DemoCamBadLines,
                         testing::ValuesIn(std::vector<BadLine>{
                             {"--bogus", "unknown option '--bogus'"},
                             {"-x", "unknown option '-x'"},
                             {"stray", "unexpected argument 'stray'"},
                             {"--port", "needs a value"},
                             {"--port 65536", "--port"},
                             {"--port -1", "--port"},
                             {"--port 80a", "--port"},
                             {"--cameras 0", "--cameras"},
                             {"--cameras 25", "--cameras"},
                             {"--size 1280", "--size"},
                             {"--size 1280x", "--size"},
                             {"--size 10x10", "--size"},
                             {"--size 8000x720", "--size"},
                             {"--size 1280x720x3", "--size"},
                             {"--quality 0", "--quality"},
                             {"--quality 101", "--quality"},
                             {"--change-every 0", "--change-every"},
                             {"--change-every 2,,3", "--change-every"},
                             {"--change-every=", "--change-every"},
                             {"--slow 0", "--slow"},
                             {"--daytime-port 65536", "--daytime-port"},
                             {"--daytime-port", "needs a value"},
                             {"--broken sideways", "--broken"},
                             {"--scene snow", "scenes are shapes, still"},
                             {"--scene", "needs a value"},
                             {"--broken 0:html", "--broken"},
                             {"--broken 5:html", "camera 5"},
                             {"--cameras 2 --broken 3:html", "camera 3"},
                         }),
                         badLineName);
