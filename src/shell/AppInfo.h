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
    // The reverse-DNS name shared by the desktop entry, the icon and the metainfo.
    static QString desktopId();

    // What decides where the program keeps its data.
    struct Places
    {
        QString tessalyHome;         // $TESSALY_HOME, empty when unset
        QString executableDirectory; // the directory of the running executable
        bool installed = false;      // the executable sits in an installed layout
        QString perUserDirectory;    // QStandardPaths::AppDataLocation
    };
    // The program directory for these places: TESSALY_HOME when set, else the
    // per-user directory for an installed program, else the executable's
    // directory (a build tree or a portable folder). Touches nothing.
    static QString chooseProgramDirectory(const Places &places);

    // Where an installed layout keeps the files shipped with the program
    // (Help.rtf): <prefix>/share/tessaly seen from <prefix>/bin.
    static QString installedDataDirectory(const QString &executableDirectory);
    // True when the executable is in the configured bin directory or its
    // installed data directory exists beside it. A build tree or a folder with
    // the executable and its files copied together is not installed.
    static bool isInstalledLayout(const QString &executableDirectory);

    // Where 00camlist.txt, cam/ and the machine settings live (see
    // chooseProgramDirectory). The per-user directory is created when chosen.
    static QString programDirectory();
    // programDirectory() + "/" + name, for a file or folder beside the program.
    static QString programFile(const QString &name);

    // Help.rtf in the program directory when there is one there (a user's own
    // copy wins); otherwise, for an installed program, the installed one.
    static QString helpFile();
    static QString chooseHelpFile(const QString &programDirectory,
                                  const QString &installedDataDirectory);

    // Sets the application, organisation and version on QCoreApplication.
    static void applyToApplication();
};
