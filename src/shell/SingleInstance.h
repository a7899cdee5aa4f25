#pragma once

#include <memory>

#include <QString>

class QLockFile;

// Keeps a second copy of the program from starting while one runs: a lock file
// named after the product in the user's runtime directory. The lock is held as
// long as this object lives, so main() keeps it for the whole run.
class SingleInstance
{
public:
    // A lock named after name in directory; an empty directory means the
    // user's runtime directory (or, failing that, the temporary directory).
    explicit SingleInstance(const QString &name, const QString &directory = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // Takes the lock and answers at once: true when this is the only running
    // copy, false when another one holds the lock. A lock left behind by a run
    // that crashed does not count. When no lock file can be made at all the
    // program is let run: refusing to start would help nobody.
    bool tryStart();
    bool isHeld() const { return m_held; }

    QString lockFilePath() const { return m_path; }

    // Where the lock goes when no directory is given.
    static QString defaultDirectory();

    // Seconds after which a lock file nobody can read counts as left behind.
    static constexpr int UnreadableLockAgeSeconds = 10;

private:
    bool lockAt(const QString &path);

    QString m_name;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};
