#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include "CamListFile.h"
#include "CameraEngine.h"
#include "CertificatePins.h"
#include "HttpExchange.h"
#include "LighttpdServer.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "ScopedHooks.h"
#include "TestEnv.h"
#include "TestPictures.h"

namespace {

// An HTTPS camera with a self-signed certificate that wants a password, in the
// user information and in the query: what many cameras bought today look like.
class MainWindowCertificatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QApplication::setQuitOnLastWindowClosed(false);
        TestEnv::freshProgramDirectory();
        TestEnv::freshConfigDirectory();
        // The clock under the viewer asks nobody.
        qputenv("TESSALY_TIME_SERVER",
                QStringLiteral("127.0.0.1:%1").arg(LighttpdServer::freePort()).toLatin1());
        LighttpdServer::Options https;
        https.https = true;
        ASSERT_TRUE(server.start(https)) << server.error().toStdString();
        ASSERT_TRUE(
            server.putFile(QStringLiteral("basic/snap.jpg"),
                           TestPictures::encode(TestPictures::quadrants(QSize(64, 48)), "jpg")));
    }

    void TearDown() override { window.reset(); }

    // Opens the camera and waits for its first failed fetch.
    void openCamera()
    {
        ASSERT_TRUE(CamListFile::LoadCamList().ok());
        ASSERT_TRUE(CamListFile::AppendCamEntry(QStringLiteral("Gate"), address(), "30").ok());
        window = std::make_unique<MainWindow>();
        window->engine().setRealTimersEnabled(false);
        window->setEndProgramHandler([] {});
        window->setExitHandler([] {});
        QObject::connect(&window->engine(), &CameraEngine::statusText, &window->engine(),
                         [this](const QString &text) { shown << text; });
        window->Form_Load();
        QSignalSpy failed(&window->engine(), &CameraEngine::fetchFailed);
        ASSERT_EQ(window->OpenCamPanel(QStringLiteral("Gate")), 0);
        ASSERT_TRUE(failed.count() > 0 || failed.wait(10000));
    }

    // Everything the window shows of the camera, as one text.
    QString everythingShown() const
    {
        auto *panel = window->findChild<QGroupBox *>(QStringLiteral("Frame_0"));
        return shown.join('\n') + '\n' + window->statusText() + '\n' +
               (panel ? panel->toolTip() : QString()) + '\n' + asked.join('\n');
    }

    static constexpr const char *QuerySecret = "Yh3vSecr";
    QString address() const
    {
        return server.urlWithUser(
            QStringLiteral("/basic/snap.jpg?user=admin&pwd=%1").arg(QLatin1String(QuerySecret)),
            LighttpdServer::password());
    }

    LighttpdServer server;
    std::unique_ptr<MainWindow> window;
    QStringList shown; // the engine's status texts, as the status bar got them
    QStringList asked; // the message boxes' texts and details
};

TEST_F(MainWindowCertificatesTest, ARefusedCertificateIsTrustedFromThePanelOnlyOnYes)
{
    ASSERT_NO_FATAL_FAILURE(openCamera());
    const PanelStatus &status = window->engine().status(0);
    ASSERT_TRUE(status.lastFailure.has_value());
    EXPECT_EQ(status.lastFailure->kind, Failure::Kind::Certificate);
    // The certificate the camera showed, kept for the question.
    EXPECT_EQ(status.refusedCertificateSha256, server.certificateSha256());
    EXPECT_EQ(status.refusedCertificateHost, QStringLiteral("127.0.0.1:%1").arg(server.port()));
    const QString fingerprint = HttpExchange::fingerprintText(server.certificateSha256());
    const QString tip = window->findChild<QGroupBox *>(QStringLiteral("Frame_0"))->toolTip();
    EXPECT_TRUE(tip.contains(QLatin1String("certificate"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(fingerprint)) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QLatin1String("Right-click"))) << tip.toStdString();

    // No: nothing is trusted, the camera keeps failing.
    MessageBoxes::Button answer = MessageBoxes::No;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &r) {
        asked << r.title + '\n' + r.text + '\n' + r.details;
        return answer;
    });
    EXPECT_FALSE(window->trustRefusedCertificate(0));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.first().contains(fingerprint)) << asked.first().toStdString();
    EXPECT_TRUE(CertificatePins::pinFor(status.refusedCertificateHost).isEmpty());

    // Yes: that certificate is pinned and the next fetch brings the picture.
    answer = MessageBoxes::Yes;
    QSignalSpy pictures(&window->engine(), &CameraEngine::pictureArrived);
    EXPECT_TRUE(window->trustRefusedCertificate(0));
    EXPECT_EQ(CertificatePins::pinFor(QStringLiteral("127.0.0.1:%1").arg(server.port())),
              server.certificateSha256());
    EXPECT_TRUE(window->statusText().contains(QLatin1String("trusted")));
    ASSERT_TRUE(pictures.count() > 0 || pictures.wait(10000)) << everythingShown().toStdString();
    EXPECT_FALSE(window->engine().status(0).lastFailure.has_value());
    EXPECT_TRUE(window->engine().status(0).refusedCertificateSha256.isEmpty());
    // Nothing left to trust: no second question.
    EXPECT_FALSE(window->trustRefusedCertificate(0));
    EXPECT_EQ(asked.size(), 2);

    // Neither password reached anything the window showed. Asserted without
    // printing the text: the output itself must not carry them either.
    const QString all = everythingShown();
    EXPECT_FALSE(all.contains(LighttpdServer::password())) << "the password was shown";
    EXPECT_FALSE(all.contains(QLatin1String(QuerySecret))) << "the query password was shown";
}

TEST_F(MainWindowCertificatesTest, AnotherCertificateAfterTrustingFailsAndIsOfferedAgain)
{
    // The user trusted some other certificate for this camera: the one it shows
    // now is refused, never taken silently in its place.
    const QByteArray other(32, '\x5a');
    ASSERT_TRUE(CertificatePins::trust(QStringLiteral("127.0.0.1:%1").arg(server.port()), other));
    ASSERT_NO_FATAL_FAILURE(openCamera());
    const PanelStatus &status = window->engine().status(0);
    ASSERT_TRUE(status.lastFailure.has_value());
    EXPECT_EQ(status.lastFailure->kind, Failure::Kind::Certificate);
    EXPECT_EQ(CertificatePins::pinFor(status.refusedCertificateHost), other);
    EXPECT_EQ(status.refusedCertificateSha256, server.certificateSha256());
    EXPECT_FALSE(everythingShown().contains(LighttpdServer::password()))
        << "the password was shown";
}

} // namespace
