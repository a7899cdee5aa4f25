#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include <QStringList>

#include "MessageBoxes.h"
#include "ScopedHooks.h"

namespace {

// Restores whatever answered boxes before the test.
struct AnswererGuard
{
    ScopedHook<&MessageBoxes::setAsker> asker{nullptr};
    ScopedHook<&MessageBoxes::setPresenter> presenter{nullptr};
};

} // namespace

// A box's buttons and the answer taken when nobody can press one.
struct CarefulAnswer
{
    const char *name;
    MessageBoxes::Buttons buttons;
    MessageBoxes::Button answer;
};

void PrintTo(const CarefulAnswer &row, std::ostream *out)
{
    *out << row.name;
}

class MessageBoxesCareful : public testing::TestWithParam<CarefulAnswer>
{
};

TEST_P(MessageBoxesCareful, WithNobodyToAskTheCarefulButtonIsTaken)
{
    const AnswererGuard guard;
    EXPECT_EQ(MessageBoxes::ask(nullptr, QStringLiteral("t"), QStringLiteral("x"),
                                GetParam().buttons, MessageBoxes::NoIcon),
              GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, MessageBoxesCareful,
    testing::Values(CarefulAnswer{"AbortRetryIgnore",
                                  MessageBoxes::Abort | MessageBoxes::Retry | MessageBoxes::Ignore,
                                  MessageBoxes::Abort},
                    CarefulAnswer{"OkCancel", MessageBoxes::Ok | MessageBoxes::Cancel,
                                  MessageBoxes::Cancel},
                    CarefulAnswer{"YesNo", MessageBoxes::Yes | MessageBoxes::No, MessageBoxes::No},
                    CarefulAnswer{"Ok", MessageBoxes::Ok, MessageBoxes::Ok},
                    CarefulAnswer{"RetryOnly", MessageBoxes::Retry, MessageBoxes::NoButton}),
    [](const testing::TestParamInfo<CarefulAnswer> &info) { return std::string(info.param.name); });

TEST(MessageBoxes, AnAskerComesBeforeThePresenter)
{
    AnswererGuard guard;
    QStringList seen;
    guard.presenter.set([&](QWidget *, const MessageBoxes::Request &request) {
        seen << QStringLiteral("shown ") + request.title;
        return MessageBoxes::Retry;
    });
    MessageBoxes::Request request;
    request.title = QStringLiteral("Permission Denied");
    request.buttons = MessageBoxes::Abort | MessageBoxes::Retry;
    request.details = QStringLiteral("the reason");
    EXPECT_EQ(MessageBoxes::ask(nullptr, request), MessageBoxes::Retry);

    guard.asker.set([&](const MessageBoxes::Request &asked) {
        seen << QStringLiteral("asked ") + asked.details;
        return MessageBoxes::Abort;
    });
    EXPECT_EQ(MessageBoxes::ask(nullptr, request), MessageBoxes::Abort);
    EXPECT_EQ(seen, (QStringList{"shown Permission Denied", "asked the reason"}));
}
