#pragma once

#include <QString>

// One camera of the camera list file: the name line's name, the URL line and
// the refresh line, all kept as the texts they are in the file.
struct CamEntry
{
    QString name;
    QString address;
    QString refresh;

    friend bool operator==(const CamEntry &, const CamEntry &) = default;
};
