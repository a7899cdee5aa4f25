#include <gtest/gtest.h>

#include <QStringList>
#include <QTextStream>

#include "CertificatePins.h"
#include "HttpExchange.h"
#include "LighttpdServer.h"
#include "TestEnv.h"
#include "TrustCertificate.h"

namespace {

struct Console
{
    QString outText;
    QString errText;
    QTextStream out{&outText};
    QTextStream err{&errText};
    QStringList typed;

    TrustCertificate::Io io(bool interactive)
    {
        return {out, err,
                [this]() -> std::optional<QString> {
                    if (typed.isEmpty())
                        return std::nullopt;
                    return typed.takeFirst();
                },
                interactive};
    }
};

class TrustCertificateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshConfigDirectory();
        LighttpdServer::Options options;
        options.https = true;
        ASSERT_TRUE(server.start(options)) << server.error().toStdString();
        key = QStringLiteral("127.0.0.1:%1").arg(server.port());
        fingerprint = HttpExchange::fingerprintText(server.certificateSha256());
    }

    LighttpdServer server;
    QString key;
    QString fingerprint;
};

} // namespace

TEST_F(TrustCertificateTest, YesStoresThePinAfterShowingTheFingerprint)
{
    Console console;
    EXPECT_EQ(TrustCertificate::run(key, true, console.io(false)), 0)
        << console.errText.toStdString();
    EXPECT_TRUE(console.outText.contains(fingerprint)) << console.outText.toStdString();
    EXPECT_TRUE(console.outText.contains(QLatin1String("Tessaly test camera")));
    EXPECT_EQ(CertificatePins::pinFor(key), server.certificateSha256());

    // Asked again with the same certificate: nothing to change.
    Console again;
    EXPECT_EQ(TrustCertificate::run(key, false, again.io(false)), 0);
    EXPECT_TRUE(again.outText.contains(QLatin1String("trusted already")));
}

TEST_F(TrustCertificateTest, ATerminalIsAskedAndANoKeepsNothing)
{
    Console declined;
    declined.typed = {QStringLiteral("n")};
    EXPECT_EQ(TrustCertificate::run(key, false, declined.io(true)), 1);
    EXPECT_TRUE(declined.outText.contains(QLatin1String("[y/N]")));
    EXPECT_TRUE(CertificatePins::pinFor(key).isEmpty());

    Console noTerminal;
    EXPECT_EQ(TrustCertificate::run(key, false, noTerminal.io(false)), 1);
    EXPECT_TRUE(noTerminal.errText.contains(QLatin1String("--yes")));
    EXPECT_TRUE(CertificatePins::pinFor(key).isEmpty());

    Console accepted;
    accepted.typed = {QStringLiteral(" Y ")};
    EXPECT_EQ(TrustCertificate::run(key, false, accepted.io(true)), 0);
    EXPECT_EQ(CertificatePins::pinFor(key), server.certificateSha256());
}

TEST_F(TrustCertificateTest, AChangedCertificateIsNamedAsAReplacement)
{
    ASSERT_TRUE(CertificatePins::trust(key, QByteArray(32, '\x22')));
    Console console;
    EXPECT_EQ(TrustCertificate::run(key, true, console.io(false)), 0);
    EXPECT_TRUE(console.outText.contains(QLatin1String("REPLACES")))
        << console.outText.toStdString();
    EXPECT_EQ(CertificatePins::pinFor(key), server.certificateSha256());
}

TEST(TrustCertificate, WrongTargetsAreRefused)
{
    TestEnv::freshConfigDirectory();
    for (const char *bad : {"", "viewer@cam:443", "cam:443/path", "cam:99999", "cam:x"}) {
        Console console;
        EXPECT_EQ(TrustCertificate::run(QString::fromLatin1(bad), true, console.io(false)), 2)
            << bad;
        EXPECT_TRUE(console.errText.contains(QLatin1String("HOST:PORT")));
    }
    // Nobody listening: nothing to trust.
    Console nobody;
    EXPECT_EQ(TrustCertificate::run(QStringLiteral("127.0.0.1:%1").arg(LighttpdServer::freePort()),
                                    true, nobody.io(false)),
              1);
}
