#include "WebCertificate.h"

#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QSysInfo>

#include "HttpExchange.h"
#include "PrivateFile.h"

namespace {

template <typename T, void (*Free)(T *)>
struct Deleter
{
    void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

constexpr qint64 MaxPemBytes = 64 * 1024;
constexpr long ValidSecs = 10L * 365 * 24 * 3600;

Failure failure(const QString &text)
{
    return Failure::of(Failure::Kind::File, text);
}

QByteArray pemOf(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, qsizetype(size)) : QByteArray();
}

QByteArray sha256Of(X509 *certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &size) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(digest), int(size));
}

// subjectAltName text: DNS:name or IP:address per host, duplicates dropped.
QByteArray altNames(const QStringList &hosts)
{
    QStringList entries;
    for (const QString &host : hosts) {
        if (host.isEmpty())
            continue;
        QHostAddress address;
        QString entry;
        if (address.setAddress(host)) {
            if (address.isEqual(QHostAddress::AnyIPv4) || address.isEqual(QHostAddress::AnyIPv6))
                continue; // "every address" names none
            entry = QStringLiteral("IP:") + address.toString();
        } else {
            // A host name goes in only when it is a plain DNS name.
            bool plain = true;
            for (const QChar c : host)
                plain = plain &&
                        (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.')) &&
                        c.unicode() < 128;
            if (!plain)
                continue;
            entry = QStringLiteral("DNS:") + host;
        }
        if (!entries.contains(entry))
            entries << entry;
    }
    return entries.join(QLatin1Char(',')).toLatin1();
}

QByteArray readPem(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(path, file.errorString());
        return {};
    }
    if (file.size() > MaxPemBytes) {
        *error = QStringLiteral("The file \"%1\" is too large for a PEM file.").arg(path);
        return {};
    }
    return file.readAll();
}

} // namespace

QString WebCertificate::defaultCertificatePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/web-certificate.pem");
}

QString WebCertificate::defaultKeyPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/web-key.pem");
}

QString WebCertificate::fingerprintText() const
{
    return HttpExchange::fingerprintText(sha256);
}

Result<WebCertificate> WebCertificate::obtain(const QString &certificatePath,
                                              const QString &keyPath, const QStringList &hosts)
{
    if (!certificatePath.isEmpty() || !keyPath.isEmpty()) {
        if (certificatePath.isEmpty() || keyPath.isEmpty())
            return failure(QStringLiteral("A certificate of your own needs both its "
                                          "certificate file and its key file."));
        return load(certificatePath, keyPath);
    }
    const QString certificate = defaultCertificatePath();
    const QString key = defaultKeyPath();
    if (QFile::exists(certificate) && QFile::exists(key))
        return load(certificate, key);
    return make(certificate, key, hosts);
}

Result<WebCertificate> WebCertificate::make(const QString &certificatePath, const QString &keyPath,
                                            const QStringList &hosts)
{
    Key key(EVP_EC_gen("P-256"));
    Certificate certificate(X509_new());
    if (!key || !certificate)
        return failure(QStringLiteral("OpenSSL could not make a key."));
    X509 *x = certificate.get();
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return failure(QStringLiteral("OpenSSL has no random numbers."));
    serial[0] &= 0x7f; // a positive serial number
    std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>> number(
        BN_bin2bn(serial, sizeof serial, nullptr));
    X509_NAME *name = X509_get_subject_name(x);
    const QByteArray commonName =
        QStringLiteral("Tessaly on %1").arg(QSysInfo::machineHostName()).toUtf8().left(64);
    bool ok =
        X509_set_version(x, 2) == 1 && number &&
        BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(x)) &&
        X509_gmtime_adj(X509_getm_notBefore(x), -3600) &&
        X509_gmtime_adj(X509_getm_notAfter(x), ValidSecs) &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char *>(commonName.constData()),
                                   int(commonName.size()), -1, 0) == 1 &&
        X509_set_issuer_name(x, name) == 1 && X509_set_pubkey(x, key.get()) == 1;
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
    const QByteArray names = altNames(hosts);
    const std::pair<int, QByteArray> extensions[] = {
        {NID_basic_constraints, "critical,CA:FALSE"},
        {NID_key_usage, "critical,digitalSignature"},
        {NID_ext_key_usage, "serverAuth"},
        {NID_subject_alt_name, names},
    };
    for (const auto &[nid, value] : extensions) {
        if (!ok || value.isEmpty())
            continue;
        X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
        ok = extension && X509_add_ext(x, extension, -1) == 1;
        X509_EXTENSION_free(extension);
    }
    ok = ok && X509_sign(x, key.get(), EVP_sha256()) > 0;
    Bio certificateBio(BIO_new(BIO_s_mem()));
    Bio keyBio(BIO_new(BIO_s_mem()));
    ok = ok && certificateBio && keyBio && PEM_write_bio_X509(certificateBio.get(), x) == 1 &&
         PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
             1;
    if (!ok)
        return failure(QStringLiteral("OpenSSL could not make a certificate."));

    WebCertificate made;
    made.certificatePem = pemOf(certificateBio.get());
    made.keyPem = pemOf(keyBio.get());
    made.sha256 = sha256Of(x);
    made.certificatePath = certificatePath;
    made.keyPath = keyPath;
    made.made = true;
    // The key first: a certificate without its key would be taken as a pair
    // that does not belong together at the next start.
    QString error = PrivateFile::write(keyPath, made.keyPem);
    if (error.isEmpty())
        error = PrivateFile::write(certificatePath, made.certificatePem);
    if (!error.isEmpty())
        return failure(error);
    return made;
}

Result<WebCertificate> WebCertificate::load(const QString &certificatePath, const QString &keyPath)
{
    WebCertificate pair;
    QString error;
    pair.certificatePem = readPem(certificatePath, &error);
    if (error.isEmpty())
        pair.keyPem = readPem(keyPath, &error);
    if (!error.isEmpty())
        return failure(error);
    Bio certificateBio(
        BIO_new_mem_buf(pair.certificatePem.constData(), int(pair.certificatePem.size())));
    Bio keyBio(BIO_new_mem_buf(pair.keyPem.constData(), int(pair.keyPem.size())));
    Certificate certificate(certificateBio
                                ? PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr)
                                : nullptr);
    if (!certificate)
        return failure(
            QStringLiteral("The file \"%1\" holds no PEM certificate.").arg(certificatePath));
    Key key(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key)
        return failure(QStringLiteral("The file \"%1\" holds no PEM private key without a "
                                      "passphrase.")
                           .arg(keyPath));
    if (X509_check_private_key(certificate.get(), key.get()) != 1)
        return failure(QStringLiteral("The key \"%1\" does not belong to the certificate \"%2\".")
                           .arg(keyPath, certificatePath));
    pair.sha256 = sha256Of(certificate.get());
    pair.certificatePath = certificatePath;
    pair.keyPath = keyPath;
    return pair;
}
