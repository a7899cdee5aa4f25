#pragma once

#include <QByteArray>
#include <QString>

// The web view's pages, built into the program: plain HTML, one stylesheet
// and one small script, nothing fetched from anywhere else (the pages' own
// Content-Security-Policy would refuse it). Camera names and times never go
// into the HTML: the script puts them in as text from /api/cameras, so a name
// that looks like markup stays text.
namespace WebPages {

// The login form; message (a wrong password, the throttle) shown above it.
QByteArray login(const QString &message);
QByteArray grid();
QByteArray camera();
QByteArray styleSheet();
QByteArray script();

} // namespace WebPages
