#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "IndexedPicture.h"
#include "Result.h"

struct sqlite3;

// What one reconciling scan of cam/ did.
struct ScanSummary
{
    int added = 0;   // files found that the index did not hold
    int removed = 0; // rows whose file had gone
    int kept = 0;    // rows that were right already
    int ignored = 0; // names the saving rule cannot have made
    qint64 elapsedMs = 0;
    std::optional<Failure> failure;
};

Q_DECLARE_METATYPE(ScanSummary)

// The index of the pictures saved in one cam/ folder: which camera, when,
// which file, how large, and the change score and event where known.
//
// It is a cache, never the truth: an SQLite database in the per-user cache
// directory, named after the folder it describes, that can be deleted at any
// time and is rebuilt from the file names. The saver adds what it saves,
// retention removes what it deletes, and a scan at start reconciles what
// anyone else did to the folder. SQLite's write-ahead log keeps it whole
// through a crash or a kill in the middle of a write; a file that is not a
// database of ours, or fails SQLite's check, is thrown away and made again.
//
// Every call may come from any thread: one connection, one lock, held for
// a statement or, during a scan, for a batch of rows at a time, so a look-up
// never waits long behind the scan.
class PictureIndex : public QObject
{
    Q_OBJECT
public:
    // Rows the scan writes per transaction, the longest the lock is held.
    static constexpr int ScanBatch = 4000;
    static constexpr int SchemaVersion = 1;

    explicit PictureIndex(const QString &camFolder, QObject *parent = nullptr);
    ~PictureIndex() override;

    // The database that describes camFolder: <cache>/index/pictures-<hash>.sqlite,
    // the hash of the folder's canonical path, so two spellings of one
    // folder share one index.
    static QString databasePathFor(const QString &camFolder);

    // Opens the database, making it when missing and making it anew when it
    // is damaged or not ours (wasRebuilt() then says so).
    Result<bool> open();
    bool isOpen() const;
    bool wasRebuilt() const { return m_rebuilt; }
    QString camFolder() const { return m_camFolder; }
    QString databasePath() const { return m_databasePath; }

    // The camera names in use (display names). A file name that reads two
    // ways is read as one of theirs where it can be.
    void setKnownCameras(const QStringList &camNames);

    // A picture just saved at path (in cam/). The camera and time come from
    // the file name; camName, when given, settles a name that reads two ways.
    // False (and no row) for a name the saving rule cannot have made.
    Result<bool> add(const QString &path, qint64 size, const QString &camName = {},
                     std::optional<double> score = {}, std::optional<qint64> event = {});
    // Pictures retention deleted. The number of rows taken out.
    Result<int> remove(const QString &path);
    Result<int> remove(const QStringList &paths);

    // Reconciles the index with cam/ by the names alone (no picture is read,
    // no file looked at unless its name reads two ways): rows for new files,
    // none for files gone. scanNow() runs on the calling thread; startScan()
    // on a worker of its own, ends with scanFinished, then fills in the sizes
    // (sizesFilled) while the index is already in use.
    ScanSummary scanNow();
    void startScan();
    // The sizes of rows the scan made (size -1 until then). The number filled.
    int fillSizes();
    bool isScanning() const { return m_scanning.load(); }
    // Blocks until a started scan, and the sizes after it, are done.
    void waitForScan();

    // Look-ups; every list is in time order.
    QStringList cameras() const;
    int count(const QString &camera) const;
    QList<IndexedPicture> between(const QString &camera, const QDateTime &from,
                                  const QDateTime &to) const;
    // The pictures of one local day.
    QList<IndexedPicture> day(const QString &camera, const QDate &date) const;
    // The local days that hold pictures of camera.
    QList<QDate> days(const QString &camera) const;
    // At most limit pictures of camera: the latest before moment, or the
    // earliest at or after it. A page of a busy camera's day, never all of it.
    QList<IndexedPicture> lastBefore(const QString &camera, const QDateTime &moment,
                                     int limit) const;
    QList<IndexedPicture> firstFrom(const QString &camera, const QDateTime &moment,
                                    int limit) const;
    // The picture nearest moment, before or after; empty when camera has none.
    std::optional<IndexedPicture> nearest(const QString &camera, const QDateTime &moment) const;
    QList<IndexedEvent> events(const QString &camera, const QDateTime &from,
                               const QDateTime &to) const;

    QString pathOf(const IndexedPicture &picture) const;

signals:
    void scanFinished(const ScanSummary &summary);
    void sizesFilled(int count);

private:
    Result<bool> openDatabase();
    Result<bool> createSchema();
    void closeDatabase();
    bool exec(const char *sql);
    QList<IndexedPicture> select(const char *sql, const QString &camera, qint64 a, qint64 b) const;

    QString m_camFolder;
    QString m_databasePath;
    bool m_rebuilt = false;

    mutable std::mutex m_lock;
    sqlite3 *m_db = nullptr;
    QSet<QString> m_knownCameras;
    // Rows taken out while a scan runs: its listing may still hold them.
    QSet<QString> m_removedDuringScan;

    std::atomic<bool> m_scanning{false};
    std::atomic<bool> m_stopping{false};
    std::thread m_worker;
};
