#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>

#include "NoticeWindow.h"

TEST(NoticeWindow, AsksForASelectedCamera)
{
    QPointer<NoticeWindow> notice = new NoticeWindow;
    EXPECT_EQ(notice->objectName(), QStringLiteral("Form4"));
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("Oops!"));
    const QLabel *label = notice->findChild<QLabel *>(QStringLiteral("Label1"));
    ASSERT_EQ(label, notice->Label1);
    EXPECT_EQ(label->text(), QStringLiteral("You must first select a cam from the list."));
    // The whole sentence is readable inside the window.
    EXPECT_LE(label->heightForWidth(label->width()), label->height());
    EXPECT_TRUE(notice->rect().contains(label->geometry()));
    EXPECT_EQ(notice->minimumSize(), notice->maximumSize());

    notice->show();
    EXPECT_TRUE(notice->isVisible());
    notice->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(notice.isNull()) << "closing unloads the window";
}

TEST(NoticeWindow, OpensOverTheWindowThatAskedForIt)
{
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    main.show();
    QPointer<NoticeWindow> notice = new NoticeWindow(&main);
    EXPECT_TRUE(notice->isWindow());
    EXPECT_EQ(notice->geometry().center(), main.frameGeometry().center());
    EXPECT_FALSE(notice->isVisible()) << "shown only when asked for";
}
