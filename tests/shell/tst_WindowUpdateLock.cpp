#include <gtest/gtest.h>

#include <QWidget>

#include "WindowUpdateLock.h"

TEST(WindowUpdateLock, FreezesOnlyWhenAttachedAndNeitherMinimisedNorCovered)
{
    QWidget main;
    main.show();

    // Without an attached main window nothing happens.
    LockWindowUpdates(&main, true);
    EXPECT_TRUE(main.updatesEnabled());

    bool pictureWindowShown = false;
    WindowUpdateLock::attach(&main, [&] { return pictureWindowShown; });
    LockWindowUpdates(&main, true);
    EXPECT_FALSE(main.updatesEnabled());
    LockWindowUpdates(&main, false);
    EXPECT_TRUE(main.updatesEnabled());

    // The picture window showing: neither the lock nor the release reach the window.
    pictureWindowShown = true;
    LockWindowUpdates(&main, true);
    EXPECT_TRUE(main.updatesEnabled());
    pictureWindowShown = false;
    LockWindowUpdates(&main, true);
    pictureWindowShown = true;
    LockWindowUpdates(&main, false);
    EXPECT_FALSE(main.updatesEnabled()) << "a release while covered must not unfreeze";
    pictureWindowShown = false;
    LockWindowUpdates(&main, false);
    EXPECT_TRUE(main.updatesEnabled());

    main.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(main.isMinimized());
    LockWindowUpdates(&main, true);
    EXPECT_TRUE(main.updatesEnabled());
    WindowUpdateLock::detach();
}
