#include "WebPassword.h"

#include <sodium.h>

namespace {
bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}
} // namespace

Result<QString> WebPassword::hash(const QByteArray &password)
{
    if (password.size() < MinLength)
        return Failure::of(
            Failure::Kind::Refused,
            QStringLiteral("The password needs at least %1 characters.").arg(MinLength));
    if (password.size() > MaxLength)
        return Failure::of(
            Failure::Kind::Refused,
            QStringLiteral("The password may have at most %1 characters.").arg(MaxLength));
    if (!sodiumReady())
        return Failure::of(Failure::Kind::Unexpected, QStringLiteral("libsodium cannot start."));
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(
            out, password.constData(), quint64(password.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return Failure::of(Failure::Kind::Unexpected,
                           QStringLiteral("The password could not be hashed (out of memory)."));
    return QString::fromLatin1(out);
}

bool WebPassword::verify(const QString &hash, const QByteArray &password)
{
    if (!sodiumReady() || password.size() > MaxLength)
        return false;
    const QByteArray stored = hash.toLatin1();
    // Only Argon2id: a hash of another kind in the settings was not made here.
    if (!stored.startsWith("$argon2id$") || stored.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(stored.constData(), password.constData(),
                                    quint64(password.size())) == 0;
}

void WebPassword::wipe(QByteArray &password)
{
    if (!password.isEmpty())
        sodium_memzero(password.data(), size_t(password.size()));
    password.clear();
}
