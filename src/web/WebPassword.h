#pragma once

#include <QByteArray>
#include <QString>

#include "Result.h"

// The web view's password, kept only as an Argon2id hash (libsodium's
// crypto_pwhash_str, with its salt and cost inside the string). The cost is
// libsodium's "interactive" one: about a tenth of a second and 64 MiB per
// check, which a small home server can afford per login and a guesser cannot
// afford per guess.
namespace WebPassword {

constexpr int MinLength = 8;
constexpr int MaxLength = 1024;

// The hash string to store; a Failure for a password shorter than MinLength,
// longer than MaxLength, or when libsodium cannot run (out of memory).
Result<QString> hash(const QByteArray &password);

// Whether password is the one hash was made from. False for an empty or
// malformed hash.
bool verify(const QString &hash, const QByteArray &password);

// Wipes a password held in memory.
void wipe(QByteArray &password);

} // namespace WebPassword
