#pragma once

#include <QByteArrayView>
#include <QString>

// Text that is shown to a person or written to a terminal or the journal:
// camera addresses without their secrets, camera-sent bytes without the
// control characters that could rewrite a terminal line.
namespace DisplayText {

// An address, or any part of one (a file name with its query), with the
// password of its user information shown as "user:***@" and the values of
// query keys that carry credentials (user, password, pwd, passwd, pass) as
// "***". Text without either comes back unchanged.
QString maskAddress(const QString &text);

// Control characters (C0, DEL, C1) as "\xNN"; a backslash stays itself.
QString escapeControls(const QString &text);
// Bytes from a camera (a reason phrase, a header value): each byte one
// Latin-1 character, then escaped as above.
QString fromCamera(QByteArrayView bytes);

// maskAddress and escapeControls together: what any shown address goes through.
QString address(const QString &text);

} // namespace DisplayText
