#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "PictureWindow.h"
#include "ScopedHooks.h"
#include "WaitUntil.h"
#include "WindowUtils.h"

namespace {

// A click as the window system delivers it, so it reaches whichever child
// lies under the pointer.
void clickWindowAt(QWidget *window, QPoint pos)
{
    QWindow *handle = window->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QPointF global = window->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &release);
}

QImage solid(QRgb colour, QSize size = {64, 48})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QRgb shownAt(QWidget *widget, QPoint pos)
{
    return widget->grab().toImage().pixel(pos);
}

struct FakeScreenSaver
{
    std::vector<bool> calls;
    PictureWindow::ScreenSaverSwitch sw()
    {
        return [this](bool active) {
            calls.push_back(active);
            return true;
        };
    }
};

} // namespace

TEST(PictureWindow, OpensBorderlessFullScreenOnBlack)
{
    FakeScreenSaver saver;
    QPointer<PictureWindow> window = PictureWindow::open(QImage(), nullptr, saver.sw());
    ASSERT_TRUE(window);
    EXPECT_EQ(saver.calls, std::vector<bool>{false}) << "held off before the window shows";
    EXPECT_EQ(window->objectName(), QStringLiteral("Form6"));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->isWindow());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));

    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_TRUE(waitUntil([&] { return window->size() == screen; }));
    EXPECT_EQ(window->image->geometry(), window->rect());
    EXPECT_EQ(window->findChild<ZoomImage *>(QStringLiteral("Image1")), window->image);
    EXPECT_EQ(window->findChild<BusyIndicator *>(QStringLiteral("picrefresh")),
              window->busyIndicator);
    EXPECT_FALSE(window->isBusy());
    // Without a picture the screen is black.
    const QPoint centre = window->rect().center();
    EXPECT_EQ(shownAt(window, centre), qRgb(0, 0, 0));

    // The picture control keeps covering the window when its size changes.
    window->showNormal();
    window->resize(320, 200);
    EXPECT_TRUE(waitUntil([&] { return window->size() == QSize(320, 200); }));
    EXPECT_EQ(window->image->geometry(), QRect(0, 0, 320, 200));
    delete window;
    EXPECT_EQ(saver.calls, (std::vector<bool>{false, true}));
}

TEST(PictureWindow, FollowsNewPicturesWholeWithTheirAspectOnBlack)
{
    FakeScreenSaver saver;
    QPointer<PictureWindow> window =
        PictureWindow::open(solid(qRgb(200, 0, 0)), nullptr, saver.sw());
    ASSERT_TRUE(waitUntil([&] { return window->isVisible() && !window->size().isEmpty(); }));
    window->showNormal();
    window->resize(400, 200);
    ASSERT_TRUE(waitUntil([&] { return window->size() == QSize(400, 200); }));
    // 64 x 48 in 400 x 200: the full height, 267 across, centred.
    EXPECT_EQ(window->image->pictureRect(), QRect(66, 0, 267, 200));
    EXPECT_EQ(shownAt(window, {200, 100}), qRgb(200, 0, 0));
    EXPECT_EQ(shownAt(window, {200, 198}), qRgb(200, 0, 0)) << "down to the bottom edge";
    EXPECT_EQ(shownAt(window, {10, 100}), qRgb(0, 0, 0)) << "black beside it";
    EXPECT_EQ(shownAt(window, {390, 100}), qRgb(0, 0, 0));

    // A wide picture: the full width, black above and below.
    const QImage next = solid(qRgb(0, 0, 220), {100, 10});
    window->setPicture(next);
    EXPECT_EQ(window->picture(), next);
    EXPECT_EQ(window->image->pictureRect(), QRect(0, 80, 400, 40));
    EXPECT_EQ(shownAt(window, {2, 100}), qRgb(0, 0, 220));
    EXPECT_EQ(shownAt(window, {200, 20}), qRgb(0, 0, 0));
    window->close();
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));
}

TEST(PictureWindow, BusyIndicatorShowsWhileAFetchRuns)
{
    PictureWindow window(PictureWindow::ScreenSaverSwitch{});
    window.resize(400, 300);
    window.show();
    EXPECT_TRUE(window.busyIndicator->isHidden());

    window.setBusy(true);
    EXPECT_TRUE(window.isBusy());
    EXPECT_TRUE(window.busyIndicator->isVisible());
    EXPECT_EQ(window.busyIndicator->size(), QSize(21, 17));
    EXPECT_TRUE(window.rect().contains(window.busyIndicator->geometry()));
    // It turns while shown.
    const int first = window.busyIndicator->frame();
    EXPECT_TRUE(waitUntil([&] { return window.busyIndicator->frame() != first; }));

    // It stays in the corner when the window changes size.
    window.resize(640, 480);
    EXPECT_TRUE(waitUntil([&] { return window.width() == 640; }));
    EXPECT_TRUE(window.rect().contains(window.busyIndicator->geometry()));
    EXPECT_GT(window.busyIndicator->x(), 320);

    window.setBusy(false);
    EXPECT_FALSE(window.isBusy());
    EXPECT_FALSE(window.busyIndicator->isVisible());
}

TEST(PictureWindow, ClickClosesItAndReleasesTheScreenSaver)
{
    FakeScreenSaver saver;
    QPointer<PictureWindow> window =
        PictureWindow::open(solid(qRgb(0, 90, 0)), nullptr, saver.sw());
    int clicked = 0;
    QObject::connect(window, &PictureWindow::closedByClick, [&] {
        ++clicked;
        // The caller clears its flag while the window is still there.
        EXPECT_FALSE(window.isNull());
    });
    ASSERT_TRUE(waitUntil([&] { return window->isVisible() && !window->size().isEmpty(); }));
    window->setBusy(true);

    // Even a click that lands on the busy indicator reaches the picture.
    clickWindowAt(window, window->busyIndicator->geometry().center());
    EXPECT_EQ(clicked, 1);
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); })) << "closed and unloaded";
    EXPECT_EQ(saver.calls, (std::vector<bool>{false, true}));
}

TEST(PictureWindow, ClosingOrDestroyingReleasesTheScreenSaverOnce)
{
    // Closed by the main window going away: no click is reported.
    FakeScreenSaver saver;
    QPointer<PictureWindow> window = PictureWindow::open(solid(qRgb(1, 2, 3)), nullptr, saver.sw());
    int clicked = 0;
    QObject::connect(window, &PictureWindow::closedByClick, [&] { ++clicked; });
    window->close();
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(clicked, 0);
    EXPECT_EQ(saver.calls, (std::vector<bool>{false, true}));

    // Destroyed with its owner, never closed.
    FakeScreenSaver owned;
    auto *owner = new QWidget;
    QPointer<PictureWindow> child = PictureWindow::open(QImage(), owner, owned.sw());
    EXPECT_TRUE(child->isWindow());
    delete owner;
    EXPECT_TRUE(child.isNull());
    EXPECT_EQ(owned.calls, (std::vector<bool>{false, true}));

    // Shown again after a close: one release per showing.
    FakeScreenSaver reused;
    {
        PictureWindow again(reused.sw());
        again.show();
        again.close();
        again.show();
        again.close();
    }
    EXPECT_EQ(reused.calls, (std::vector<bool>{true, true}));
}

TEST(PictureWindow, FailingScreenSaverSwitchNeverEscapes)
{
    int calls = 0;
    auto throwing = [&](bool) -> bool {
        ++calls;
        throw std::runtime_error("no session bus");
    };
    QPointer<PictureWindow> window;
    EXPECT_NO_THROW(window = PictureWindow::open(solid(qRgb(9, 9, 9)), nullptr, throwing));
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_NO_THROW(window->close());
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(calls, 2);
}

TEST(PictureWindow, DefaultSwitchHoldsTheDesktopScreenSaverWhileOpen)
{
    std::vector<QString> requests;
    WindowUtils::ScreenSaverService fake;
    fake.available = [] { return true; };
    fake.inhibit = [&](const QString &, const QString &) -> std::optional<quint32> {
        requests.push_back(QStringLiteral("inhibit"));
        return 42;
    };
    fake.uninhibit = [&](quint32 cookie) {
        requests.push_back(QStringLiteral("uninhibit %1").arg(cookie));
        return true;
    };
    const ScopedHook<&WindowUtils::setScreenSaverService> screenSaver(fake);

    QPointer<PictureWindow> window = PictureWindow::open(solid(qRgb(5, 5, 5)));
    EXPECT_EQ(requests, std::vector<QString>{QStringLiteral("inhibit")});
    window->close();
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(requests,
              (std::vector<QString>{QStringLiteral("inhibit"), QStringLiteral("uninhibit 42")}));
}
