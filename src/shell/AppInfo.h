#pragma once

#include <QString>

// The program's version information and its directory. Window captions and
// settings paths are built from these values.
class AppInfo
{
public:
    static QString productName();
    static QString companyName();
    static QString comments();
    static int versionMajor();
    static int versionMinor();
    static QString versionString();

    // Where 00camlist.txt, cam/ and Help.rtf live: beside the executable, unless
    // TESSALY_HOME names another directory (the demo and the tests use that).
    static QString programDirectory();
    // programDirectory() + "/" + name, for a file or folder beside the program.
    static QString programFile(const QString &name);

    // Sets the application, organisation and version on QCoreApplication.
    static void applyToApplication();
};
