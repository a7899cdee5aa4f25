#pragma once

#include <QString>

// The outcome of a camera list operation: a value, or the text to show the
// user when the file could not be read or written (it names the file and the
// reason). A failed operation never leaves the file half-written.
template <typename T>
struct CamListResult
{
    T value{};
    QString error;

    bool ok() const { return error.isEmpty(); }
};
