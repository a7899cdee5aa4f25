#include "DisplayText.h"

#include <array>

namespace DisplayText {

namespace {

const QString Mask = QStringLiteral("***");

bool isCredentialKey(QStringView key)
{
    // Keys as a camera's CGI reads them: any letter case, maybe percent-encoded.
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(key.toUtf8()));
    static const std::array<QLatin1String, 6> keys = {
        QLatin1String("user"), QLatin1String("username"), QLatin1String("password"),
        QLatin1String("pwd"),  QLatin1String("passwd"),   QLatin1String("pass")};
    for (const QLatin1String &k : keys) {
        if (decoded.compare(k, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// keepSlashes: the query starts before the address's first "/", which ends
// its authority; masked values keep their "/" so that the masked text reads
// the same way again, and masking it once more changes nothing.
QString maskedQuery(QStringView query, bool keepSlashes)
{
    // "&" and ";" separate pairs; a "#" ends the query, but what follows it is
    // shown too, so it is read the same way.
    QString out;
    out.reserve(query.size());
    qsizetype start = 0;
    while (start <= query.size()) {
        qsizetype end = start;
        while (end < query.size() && query[end] != QLatin1Char('&') &&
               query[end] != QLatin1Char(';') && query[end] != QLatin1Char('#'))
            ++end;
        const QStringView pair = query.mid(start, end - start);
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals > 0 && isCredentialKey(pair.left(equals))) {
            out += pair.left(equals + 1).toString() + Mask;
            if (keepSlashes) {
                for (qsizetype n = pair.mid(equals + 1).count(QLatin1Char('/')); n > 0; --n)
                    out += QLatin1Char('/') + Mask;
            }
        } else
            out += pair;
        if (end >= query.size())
            break;
        out += query[end];
        start = end + 1;
    }
    return out;
}

} // namespace

QString maskAddress(const QString &text)
{
    QString out;
    QStringView rest(text);
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    // A scheme is only a scheme before any "/", "?" or "@".
    qsizetype stop = rest.size();
    for (const QChar c : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('@')}) {
        const qsizetype at = rest.indexOf(c);
        if (at >= 0)
            stop = qMin(stop, at);
    }
    if (scheme >= 0 && scheme < stop) {
        out += rest.left(scheme + 3);
        rest = rest.mid(scheme + 3);
    }
    // The authority ends at the first "/", as CameraAddress reads it; a "@" in
    // it ends the user information (the last one: a raw "@" may sit in a
    // password), and a ":" in that starts the password.
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const qsizetype at = rest.left(slash < 0 ? rest.size() : slash).lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QStringView userInfo = rest.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            out += userInfo.left(colon).toString() + QLatin1Char(':') + Mask + QLatin1Char('@');
            rest = rest.mid(at + 1);
        }
    }
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    if (question < 0) {
        out += rest;
        return out;
    }
    out += rest.left(question + 1);
    out += maskedQuery(rest.mid(question + 1), rest.indexOf(QLatin1Char('/')) > question);
    return out;
}

QString escapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u <= 0x9f))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString fromCamera(QByteArrayView bytes)
{
    return escapeControls(QString::fromLatin1(bytes));
}

QString address(const QString &text)
{
    return escapeControls(maskAddress(text));
}

} // namespace DisplayText
