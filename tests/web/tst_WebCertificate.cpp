#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFileInfo>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>

#include "TestEnv.h"
#include "WebCertificate.h"

// The web view's certificate: made once with OpenSSL, the key readable only by
// its owner, the same pair used at every later start, a user's own pair used
// as it is and a mismatched one refused.

TEST(WebCertificate, MadeOnceInTheDataDirectoryWithAPrivateKeyAndKeptAfterwards)
{
    const QString data = TestEnv::freshDataDirectory();
    EXPECT_TRUE(WebCertificate::defaultCertificatePath().startsWith(data));
    const QStringList hosts = {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("192.168.1.20"), QStringLiteral("0.0.0.0"),
                               QStringLiteral("bad name;rm")};
    const Result<WebCertificate> first = WebCertificate::obtain({}, {}, hosts);
    ASSERT_TRUE(first.ok()) << first.errorText().toStdString();
    EXPECT_TRUE(first.value().made);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(WebCertificate::defaultKeyPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(first.value().sha256.size(), 32);
    EXPECT_EQ(first.value().fingerprintText().size(), 32 * 3 - 1);

    const QSslCertificate certificate(first.value().certificatePem);
    ASSERT_FALSE(certificate.isNull());
    EXPECT_EQ(certificate.digest(QCryptographicHash::Sha256), first.value().sha256);
    const auto names = certificate.subjectAlternativeNames();
    EXPECT_TRUE(names.values(QSsl::DnsEntry).contains(QStringLiteral("localhost")));
    EXPECT_TRUE(names.values(QSsl::IpAddressEntry).contains(QStringLiteral("192.168.1.20")));
    EXPECT_FALSE(names.values(QSsl::IpAddressEntry).contains(QStringLiteral("0.0.0.0")));
    EXPECT_EQ(names.size(), 3);
    EXPECT_GT(certificate.expiryDate(), QDateTime::currentDateTime().addYears(9));

    const Result<WebCertificate> again = WebCertificate::obtain({}, {}, hosts);
    ASSERT_TRUE(again.ok());
    EXPECT_FALSE(again.value().made);
    EXPECT_EQ(again.value().sha256, first.value().sha256);
}

TEST(WebCertificate, AUsersOwnPairIsUsedAndAMismatchedOrMissingOneIsRefused)
{
    const QString dir = TestEnv::freshDataDirectory();
    const Result<WebCertificate> a = WebCertificate::make(dir + "/a.pem", dir + "/a.key", {});
    const Result<WebCertificate> b = WebCertificate::make(dir + "/b.pem", dir + "/b.key", {});
    ASSERT_TRUE(a.ok() && b.ok());
    const Result<WebCertificate> own = WebCertificate::obtain(dir + "/a.pem", dir + "/a.key", {});
    ASSERT_TRUE(own.ok()) << own.errorText().toStdString();
    EXPECT_EQ(own.value().sha256, a.value().sha256);
    EXPECT_FALSE(own.value().made);
    EXPECT_FALSE(QFileInfo::exists(WebCertificate::defaultCertificatePath()));

    const struct
    {
        QString certificate;
        QString key;
        const char *says;
    } refused[] = {
        {dir + "/a.pem", dir + "/b.key", "does not belong"},
        {dir + "/a.pem", QString(), "needs both"},
        {dir + "/none.pem", dir + "/a.key", "cannot be read"},
        {dir + "/a.key", dir + "/a.key", "no PEM certificate"},
        {dir + "/a.pem", dir + "/a.pem", "no PEM private key"},
    };
    for (const auto &c : refused) {
        const Result<WebCertificate> r = WebCertificate::obtain(c.certificate, c.key, {});
        ASSERT_FALSE(r.ok()) << c.says;
        EXPECT_TRUE(r.errorText().contains(QLatin1String(c.says))) << r.errorText().toStdString();
    }
}
