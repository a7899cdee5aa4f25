#include <gtest/gtest.h>

#include <deque>

#include "Settings.h"
#include "WebPassword.h"
#include "WebPasswordCommand.h"

// tessaly --web-password with the console replaced by a script of lines.

namespace {

struct Script
{
    std::deque<QByteArray> lines;
    QStringList prompts;
    QStringList told;

    WebPasswordCommand::Io io(bool terminal)
    {
        WebPasswordCommand::Io io;
        io.terminal = terminal;
        io.readLine = [this](const QString &prompt) -> std::optional<QByteArray> {
            prompts << prompt;
            if (lines.empty())
                return std::nullopt;
            QByteArray line = lines.front();
            lines.pop_front();
            return line;
        };
        io.tell = [this](const QString &text) { told << text; };
        return io;
    }
};

struct Case
{
    const char *name;
    bool terminal;
    std::deque<QByteArray> lines;
    int exitCode;
    const char *says;
    int prompts;
};

} // namespace

TEST(WebPasswordCommand, StoresOnlyAHashOfAPasswordGivenOnceFromAPipeOrTwiceOnATerminal)
{
    const Case cases[] = {
        {"pipe", false, {"from a pipe 1"}, 0, "password is set", 1},
        {"terminal", true, {"typed twice", "typed twice"}, 0, "password is set", 2},
        {"terminal, differing", true, {"typed twice", "typed twice!"}, 1, "differ", 2},
        {"terminal, ended", true, {"typed once only"}, 1, "differ", 2},
        {"too short", false, {"short"}, 1, "at least 8 characters", 1},
        {"nothing", false, {}, 1, "no password given", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Settings::setWebPasswordHash(QString()));
        Script script;
        script.lines = c.lines;
        const QByteArray password = c.lines.empty() ? QByteArray() : c.lines.front();
        EXPECT_EQ(WebPasswordCommand::run(script.io(c.terminal)), c.exitCode);
        ASSERT_EQ(script.told.size(), 1);
        EXPECT_TRUE(script.told.first().contains(QLatin1String(c.says)))
            << script.told.first().toStdString();
        EXPECT_EQ(script.prompts.size(), c.prompts);
        const QString hash = Settings::webPasswordHash();
        if (c.exitCode != 0) {
            EXPECT_TRUE(hash.isEmpty());
            continue;
        }
        EXPECT_TRUE(hash.startsWith(QLatin1String("$argon2id$"))) << hash.toStdString();
        EXPECT_FALSE(hash.contains(QString::fromUtf8(password)));
        EXPECT_TRUE(WebPassword::verify(hash, password));
        EXPECT_FALSE(WebPassword::verify(hash, password + "x"));
    }
}
