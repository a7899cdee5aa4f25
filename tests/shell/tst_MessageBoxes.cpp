#include <gtest/gtest.h>

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

TEST(MessageBoxes, WithNobodyToAskTheCarefulButtonIsTaken)
{
    const AnswererGuard guard;
    struct Row
    {
        MessageBoxes::Buttons buttons;
        MessageBoxes::Button answer;
    };
    const Row rows[] = {
        {MessageBoxes::Abort | MessageBoxes::Retry | MessageBoxes::Ignore, MessageBoxes::Abort},
        {MessageBoxes::Ok | MessageBoxes::Cancel, MessageBoxes::Cancel},
        {MessageBoxes::Yes | MessageBoxes::No, MessageBoxes::No},
        {MessageBoxes::Ok, MessageBoxes::Ok},
        {MessageBoxes::Retry, MessageBoxes::NoButton},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(MessageBoxes::ask(nullptr, QStringLiteral("t"), QStringLiteral("x"), row.buttons,
                                    MessageBoxes::NoIcon),
                  row.answer)
            << row.buttons.toInt();
    }
}

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
