#include <gtest/gtest.h>

#include <memory>

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "CameraEngine.h"
#include "LighttpdServer.h"
#include "MainWindowLayout.h"
#include "MiniHttpServer.h"
#include "TestPictures.h"
#include "Twips.h"
#include "ViewerPane.h"
#include "WaitUntil.h"
#include "ZoomImage.h"

namespace {

int px(double twips)
{
    return Twips::toPixels(twips, 96);
}

// A picture nothing has decoded in full: the pane decodes it off its thread.
Picture undecoded(const QColor &colour, const QSize &size)
{
    return Picture::fromBytesChecked(TestPictures::jpegOf(colour, size), QSize(7, 5));
}

// The pane alone on an engine of its own, laid out as in a window whose
// viewer has 8,000 twips of room across and 6,220 down. Its cameras are a
// local server that never answers.
class ViewerPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The time label asks nobody outside.
        qputenv("TESSALY_TIME_SERVER",
                QStringLiteral("127.0.0.1:%1").arg(LighttpdServer::freePort()).toLatin1());
        MiniHttpServer::Reply silent;
        silent.silent = true;
        server.setReply(silent);
        engine.setRealTimersEnabled(false);
        pane = std::make_unique<ViewerPane>(engine);
        pane->setSelection([this] { return selected; });
        pane->applyGeometry(LayoutMainWindow(11520, 15195, kStatusBarHeight));
        ASSERT_EQ(pane->logicalDpiX(), 96);
    }

    void TearDown() override { pane.reset(); }

    template <typename T = QWidget>
    T *child(const char *name) const
    {
        T *found = pane->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    ZoomImage *imgMain() const { return child<ZoomImage>("imgMain"); }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }
    QColor shownCentre() const
    {
        const QImage shown = imgMain()->picture();
        return shown.isNull() ? QColor() : shown.pixelColor(shown.width() / 2, shown.height() / 2);
    }

    MiniHttpServer server;
    CameraEngine engine;
    std::unique_ptr<ViewerPane> pane;
    int selected = 0;
};

} // namespace

TEST_F(ViewerPaneTest, ASelectedCameraShowsInFullWithItsDetailsAndTheButtonsSayWhatWasClicked)
{
    ASSERT_EQ(engine.open("Yard", server.url("/y.jpg"), "30"), 0);
    ASSERT_EQ(engine.open("Door", server.url("/d.jpg"), "10"), 1);
    pane->hideViewer();
    EXPECT_TRUE(pane->isHidden());
    EXPECT_TRUE(pane->details()->isHidden());

    selected = 1;
    pane->showCamera(1, Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(320, 240))));
    EXPECT_FALSE(pane->isHidden());
    EXPECT_FALSE(pane->details()->isHidden());
    EXPECT_EQ(imgMain()->picture().size(), QSize(320, 240)) << "the full picture, not the panel's";
    EXPECT_EQ(imgMain()->geometry(), QRect(0, 0, 320, 240));
    EXPECT_EQ(label("lblName"), "Door");
    EXPECT_EQ(label("lblRefresh"), "10");
    EXPECT_EQ(label("lblNextRefresh"), "10");

    // The countdown follows the selected camera's ticks, no other's.
    engine.tick(0);
    EXPECT_EQ(label("lblNextRefresh"), "10");
    engine.tick(1);
    EXPECT_EQ(label("lblNextRefresh"), "9");

    QSignalSpy save(pane.get(), &ViewerPane::saveClicked);
    QSignalSpy screensaver(pane.get(), &ViewerPane::screensaverClicked);
    QTest::mouseClick(child<QPushButton>("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(save.size(), 1);
    EXPECT_EQ(screensaver.size(), 0);
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    EXPECT_EQ(save.size(), 1);
    EXPECT_EQ(screensaver.size(), 1);

    // A camera name that looks like markup is shown as written: drawn as
    // markup, the bold tags would vanish and each "&lt;" shrink to one "<".
    const QString markup = QStringLiteral("<b>Gate</b> &lt;&lt;&lt;&lt;&lt;&lt;");
    ASSERT_EQ(engine.open(markup, server.url("/g.jpg"), "10"), 2);
    selected = 2;
    pane->showCamera(2, Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(32, 24))));
    auto *name = child<QLabel>("lblName");
    EXPECT_EQ(name->text(), markup);
    EXPECT_GE(name->sizeHint().width(), name->fontMetrics().horizontalAdvance(markup) * 9 / 10);
}

TEST_F(ViewerPaneTest, ZoomBarsStayInRangeAndThePictureFollowsThem)
{
    // 320 x 240 pixels are 4,800 x 3,600 twips at zoom 1.
    pane->showCamera(0, Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(320, 240))));
    auto *slider = child<QScrollBar>("Slider1");
    auto *hbar = child<QScrollBar>("HScroll1");
    auto *vbar = child<QScrollBar>("VScroll2");
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 5);

    // Whatever the zoom and scrolling did: each bar within its range, the
    // picture where its bar says, at the zoom's size.
    const auto consistent = [&](const char *step) {
        const int zoom = pane->zoom();
        EXPECT_EQ(label("zoomFactor"), QString::number(zoom) + "\u00d7") << step;
        EXPECT_EQ(imgMain()->size(), QSize(320, 240) * zoom) << step;
        for (QScrollBar *bar : {hbar, vbar}) {
            EXPECT_GE(bar->value(), 0) << step;
            EXPECT_LE(bar->value(), bar->maximum()) << step;
        }
        EXPECT_EQ(imgMain()->x(), hbar->isEnabled() ? px(-hbar->value()) : 0) << step;
        EXPECT_EQ(imgMain()->y(), vbar->isEnabled() ? px(-vbar->value()) : 0) << step;
    };

    // Zoom 3 overhangs by 6,400 across and 4,580 down.
    slider->setValue(3);
    EXPECT_EQ(hbar->maximum(), 6400);
    EXPECT_EQ(vbar->maximum(), 4580);
    hbar->setValue(6000);
    vbar->setValue(4000);
    consistent("scrolled far at zoom 3");
    // Zoom 2 overhangs less than the picture was scrolled: both come back.
    slider->setValue(2);
    EXPECT_EQ(hbar->maximum(), 1600);
    EXPECT_EQ(vbar->maximum(), 980);
    EXPECT_EQ(hbar->value(), 1600);
    consistent("zoom 2");
    slider->setValue(5);
    consistent("zoom 5");
    EXPECT_EQ(hbar->value(), 1600) << "a zoom keeps the offset while it can";
    slider->setValue(1);
    EXPECT_FALSE(hbar->isEnabled());
    EXPECT_FALSE(vbar->isEnabled());
    consistent("zoom 1");
    // Scrolling again after it was off starts where the picture is: in the corner.
    slider->setValue(2);
    EXPECT_TRUE(hbar->isEnabled());
    consistent("zoom 2 after 1");
    hbar->setValue(hbar->value() - hbar->singleStep());
    consistent("one step left at zoom 2 after 1");

    // Another camera's smaller picture at zoom 2 needs no scrolling.
    slider->setValue(4);
    hbar->setValue(hbar->maximum());
    pane->showCamera(0, Picture::fromBytes(TestPictures::jpegOf(Qt::blue, QSize(100, 80))));
    slider->setValue(2);
    EXPECT_EQ(imgMain()->geometry(), QRect(0, 0, 200, 160));
    EXPECT_FALSE(hbar->isEnabled());
}

TEST_F(ViewerPaneTest, TheSelectedCamerasNewestPictureWinsAndOthersPassBy)
{
    QSignalSpy copies(pane.get(), &ViewerPane::panelCopyDecoded);
    QSignalSpy shown(pane.get(), &ViewerPane::pictureShown);
    QSignalSpy busy(pane.get(), &ViewerPane::fetchBusy);

    emit engine.fetchStarted(1);
    EXPECT_EQ(busy.size(), 0) << "not the selected camera";
    emit engine.fetchStarted(0);
    ASSERT_EQ(busy.size(), 1);
    EXPECT_TRUE(busy[0][0].toBool());

    // A large picture is still decoding when a newer one, decoded in full
    // already, comes: the newer one shows at once and stays.
    const Picture older = undecoded(Qt::green, QSize(1600, 1200));
    std::shared_ptr<const QImage> held;
    const Picture newer = Picture::fromBytesInFull(TestPictures::jpegOf(Qt::blue, QSize(400, 200)),
                                                   engine.thumbnailSize(), &held);
    ASSERT_NE(held, nullptr);
    emit engine.pictureArrived(0, older, true);
    emit engine.pictureArrived(0, newer, true);
    EXPECT_EQ(imgMain()->picture().size(), QSize(400, 200));
    EXPECT_EQ(imgMain()->geometry(), QRect(0, 0, 400, 200)) << "the first picture sizes the viewer";
    ASSERT_TRUE(waitUntil([&] { return copies.size() == 2; }));
    EXPECT_EQ(imgMain()->picture().size(), QSize(400, 200));
    EXPECT_GT(shownCentre().blue(), 200);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(busy.size(), 2) << "one fetch, one end";
    EXPECT_FALSE(busy[1][0].toBool());
    // Both panel copies were made, each of its own picture at the panel's size.
    EXPECT_TRUE(copies[0][1].value<Picture>().isSameAs(newer));
    EXPECT_TRUE(copies[1][1].value<Picture>().isSameAs(older));
    for (const QList<QVariant> &copy : copies) {
        EXPECT_EQ(copy[0].toInt(), 0);
        EXPECT_EQ(copy[2].value<QImage>().size(), engine.thumbnailSize());
    }

    // Another camera's picture is not the viewer's business at all.
    emit engine.pictureArrived(1, undecoded(Qt::red, QSize(64, 48)), true);
    // The selection moves on while the picture decodes: the panel still gets
    // its copy, the viewer keeps what it shows.
    emit engine.pictureArrived(0, undecoded(Qt::red, QSize(64, 48)), true);
    selected = 1;
    ASSERT_TRUE(waitUntil([&] { return copies.size() == 3; }));
    EXPECT_EQ(copies[2][0].toInt(), 0);
    EXPECT_FALSE(copies[2][2].value<QImage>().isNull());
    EXPECT_GT(shownCentre().blue(), 200);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(busy.size(), 2);
}

TEST_F(ViewerPaneTest, APictureThatDoesNotDecodeEndsTheFetchAndLeavesTheViewer)
{
    std::shared_ptr<const QImage> held;
    const Picture good = Picture::fromBytesInFull(TestPictures::jpegOf(Qt::blue, QSize(400, 200)),
                                                  engine.thumbnailSize(), &held);
    emit engine.pictureArrived(0, good, true);
    ASSERT_EQ(imgMain()->picture().size(), QSize(400, 200));

    QSignalSpy copies(pane.get(), &ViewerPane::panelCopyDecoded);
    QSignalSpy shown(pane.get(), &ViewerPane::pictureShown);
    QSignalSpy busy(pane.get(), &ViewerPane::fetchBusy);
    QByteArray torn = TestPictures::jpegOf(Qt::yellow, QSize(320, 240));
    torn = torn.left(torn.size() / 2) + "\xFF\xD9";
    const Picture broken = Picture::fromBytesChecked(torn, QSize(7, 5));
    ASSERT_FALSE(broken.isNull());
    emit engine.pictureArrived(0, broken, true);
    ASSERT_TRUE(waitUntil([&] { return copies.size() == 1; }));
    EXPECT_TRUE(copies[0][2].value<QImage>().isNull()) << "no copy for the panel";
    EXPECT_EQ(shown.size(), 0);
    ASSERT_EQ(busy.size(), 1);
    EXPECT_FALSE(busy[0][0].toBool());
    EXPECT_EQ(imgMain()->picture().size(), QSize(400, 200));
    EXPECT_GT(shownCentre().blue(), 200);

    // A body the engine could not decode ends the fetch too; another
    // camera's says nothing here.
    emit engine.fetchFailed(1, Failure::of(Failure::Kind::Decode, "no picture"));
    EXPECT_EQ(busy.size(), 1);
    emit engine.fetchFailed(0, Failure::of(Failure::Kind::Decode, "no picture"));
    ASSERT_EQ(busy.size(), 2);
    EXPECT_FALSE(busy[1][0].toBool());
}
