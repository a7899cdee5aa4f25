#include "PictureIndex.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SnapshotNameReader.h"

namespace {

// A prepared statement that finalizes itself.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql)
    {
        if (db)
            sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt *get() const { return m_stmt; }

    void bind(int at, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int at, qint64 value) { sqlite3_bind_int64(m_stmt, at, value); }
    void bindOptional(int at, std::optional<double> value)
    {
        if (value)
            sqlite3_bind_double(m_stmt, at, *value);
        else
            sqlite3_bind_null(m_stmt, at);
    }
    void bindOptional(int at, std::optional<qint64> value)
    {
        if (value)
            sqlite3_bind_int64(m_stmt, at, *value);
        else
            sqlite3_bind_null(m_stmt, at);
    }
    int step() { return sqlite3_step(m_stmt); }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    QString text(int column) const
    {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(m_stmt, column));
    }
    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    bool isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

QString fileNameOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

IndexedPicture pictureFrom(const Statement &row)
{
    IndexedPicture picture;
    picture.camera = row.text(0);
    picture.timeMs = row.integer(1);
    picture.file = row.text(2);
    picture.size = row.isNull(3) ? -1 : row.integer(3);
    if (!row.isNull(4))
        picture.score = sqlite3_column_double(row.get(), 4);
    if (!row.isNull(5))
        picture.event = row.integer(5);
    return picture;
}

Failure databaseFailure(sqlite3 *db, const QString &what)
{
    const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no memory");
    return Failure::of(Failure::Kind::File, what + QStringLiteral(": ") + reason);
}

// A directory entry that read as a saved picture.
struct Listed
{
    QString file;
    QList<SnapshotReading> readings;
};

// Local date and time to the epoch. The C library's mktime reads the time
// zone again on every call, far too slow for a folder of a million names, so
// the start of each local hour is asked once and the minutes added. Offsets
// change on the hour in nearly every zone; where one moves at the half hour,
// the minutes after the move in that one hour are read with the old offset.
class LocalClock
{
public:
    qint64 msecsSinceEpoch(const QDate &date, const QTime &time)
    {
        const qint64 key = date.toJulianDay() * 24 + time.hour();
        auto found = m_hours.constFind(key);
        if (found == m_hours.cend())
            found = m_hours.insert(key, QDateTime(date, QTime(time.hour(), 0)).toMSecsSinceEpoch());
        return *found + (time.minute() * 60 + time.second()) * 1000;
    }

private:
    QHash<qint64, qint64> m_hours;
};

constexpr char SelectColumns[] = "SELECT camera, time, file, size, score, event FROM pictures ";

} // namespace

PictureIndex::PictureIndex(const QString &camFolder, QObject *parent)
    : QObject(parent)
    , m_camFolder(QDir::cleanPath(QDir(camFolder).absolutePath()))
    , m_databasePath(databasePathFor(camFolder))
{
    qRegisterMetaType<ScanSummary>();
}

PictureIndex::~PictureIndex()
{
    m_stopping = true;
    waitForScan();
    closeDatabase();
}

QString PictureIndex::databasePathFor(const QString &camFolder)
{
    // The canonical path when the folder exists, so a link or "a/../cam"
    // finds the same index; the clean absolute path before it is made.
    QString canonical = QFileInfo(camFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QDir(camFolder).absolutePath());
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(20);
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/index/pictures-") + QString::fromLatin1(hash) +
           QStringLiteral(".sqlite");
}

Result<bool> PictureIndex::open()
{
    std::lock_guard guard(m_lock);
    m_rebuilt = false;
    QDir().mkpath(QFileInfo(m_databasePath).absolutePath());
    Result<bool> opened = openDatabase();
    if (opened)
        return true;
    // A busy, locked, unreadable or full database may be a sound one that
    // another program of ours is using: never delete it for that.
    const int code = m_db ? (sqlite3_extended_errcode(m_db) & 0xff) : SQLITE_CANTOPEN;
    closeDatabase();
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_NOMEM:
        return opened;
    default:
        break;
    }
    // Whatever is there is no index of ours, or a damaged one: a cache, so
    // it goes, and the next scan fills a new one.
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(m_databasePath + QString::fromLatin1(suffix));
    m_rebuilt = true;
    opened = openDatabase();
    if (!opened)
        closeDatabase();
    return opened;
}

bool PictureIndex::isOpen() const
{
    std::lock_guard guard(m_lock);
    return m_db != nullptr;
}

Result<bool> PictureIndex::openDatabase()
{
    const QByteArray path = QFile::encodeName(m_databasePath);
    const int rc =
        sqlite3_open_v2(path.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return databaseFailure(m_db, QStringLiteral("cannot open the picture index"));
    // A second program (the headless exporter) may write at the same time.
    sqlite3_busy_timeout(m_db, 5000);
    // The write-ahead log: a kill in the middle of a write loses at most that
    // write, never the file. NORMAL syncs at checkpoints only; the index is a
    // cache, and a lost last row comes back with the next scan.
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL"))
        return databaseFailure(m_db, QStringLiteral("the picture index is not a database"));

    int version = -1;
    {
        Statement stmt(m_db, "PRAGMA user_version");
        if (!stmt.ok() || stmt.step() != SQLITE_ROW)
            return databaseFailure(m_db, QStringLiteral("the picture index cannot be read"));
        version = int(stmt.integer(0));
    }
    if (version == 0)
        return createSchema();
    if (version != SchemaVersion)
        return Failure::of(Failure::Kind::File,
                           QStringLiteral("the picture index is of another version"));
    Statement check(m_db, "PRAGMA quick_check");
    if (!check.ok() || check.step() != SQLITE_ROW || check.text(0) != QLatin1String("ok"))
        return Failure::of(Failure::Kind::File, QStringLiteral("the picture index is damaged"));
    return true;
}

Result<bool> PictureIndex::createSchema()
{
    // The file name is the key: one row per file, whatever reads it.
    const bool made =
        exec("BEGIN") &&
        exec("CREATE TABLE IF NOT EXISTS pictures ("
             " file TEXT PRIMARY KEY,"
             " camera TEXT NOT NULL,"
             " time INTEGER NOT NULL,"
             " size INTEGER,"
             " score REAL,"
             " event INTEGER) WITHOUT ROWID") &&
        exec("CREATE INDEX IF NOT EXISTS pictures_by_time ON pictures(camera, time)") &&
        exec("CREATE INDEX IF NOT EXISTS pictures_by_event ON pictures(camera, event)"
             " WHERE event IS NOT NULL") &&
        exec("PRAGMA user_version=1") && exec("COMMIT");
    if (!made) {
        exec("ROLLBACK");
        return databaseFailure(m_db, QStringLiteral("cannot make the picture index"));
    }
    return true;
}

void PictureIndex::closeDatabase()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool PictureIndex::exec(const char *sql)
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void PictureIndex::setKnownCameras(const QStringList &camNames)
{
    QSet<QString> parts;
    for (const QString &name : camNames)
        parts.insert(SnapshotNameReader::cameraPart(name));
    std::lock_guard guard(m_lock);
    m_knownCameras = parts;
}

Result<bool> PictureIndex::add(const QString &path, qint64 size, const QString &camName,
                               std::optional<double> score, std::optional<qint64> event)
{
    const QString file = fileNameOf(path);
    QSet<QString> known;
    {
        std::lock_guard guard(m_lock);
        known = m_knownCameras;
    }
    if (!camName.isEmpty())
        known = {SnapshotNameReader::cameraPart(camName)};
    const std::optional<SnapshotReading> reading = SnapshotNameReader::choose(
        SnapshotNameReader::readings(file), known, [&] { return QFileInfo(path).lastModified(); });
    if (!reading)
        return false;

    std::lock_guard guard(m_lock);
    Statement stmt(m_db, "INSERT OR REPLACE INTO pictures(file, camera, time, size, score, event)"
                         " VALUES(?, ?, ?, ?, ?, ?)");
    if (!stmt.ok())
        return databaseFailure(m_db, QStringLiteral("cannot add to the picture index"));
    stmt.bind(1, file);
    stmt.bind(2, reading->camera);
    stmt.bind(3, reading->localDateTime().toMSecsSinceEpoch());
    stmt.bind(4, size);
    stmt.bindOptional(5, score);
    stmt.bindOptional(6, event);
    if (stmt.step() != SQLITE_DONE)
        return databaseFailure(m_db, QStringLiteral("cannot add to the picture index"));
    m_removedDuringScan.remove(file);
    return true;
}

Result<int> PictureIndex::remove(const QString &path)
{
    return remove(QStringList{path});
}

Result<int> PictureIndex::remove(const QStringList &paths)
{
    std::lock_guard guard(m_lock);
    Statement stmt(m_db, "DELETE FROM pictures WHERE file = ?");
    if (!stmt.ok())
        return databaseFailure(m_db, QStringLiteral("cannot remove from the picture index"));
    int removed = 0;
    exec("BEGIN");
    for (const QString &path : paths) {
        const QString file = fileNameOf(path);
        stmt.bind(1, file);
        if (stmt.step() != SQLITE_DONE) {
            exec("ROLLBACK");
            return databaseFailure(m_db, QStringLiteral("cannot remove from the picture index"));
        }
        removed += sqlite3_changes(m_db);
        stmt.reset();
        if (m_scanning.load())
            m_removedDuringScan.insert(file);
    }
    exec("COMMIT");
    return removed;
}

ScanSummary PictureIndex::scanNow()
{
    ScanSummary summary;
    QElapsedTimer clock;
    clock.start();

    // 1. The names, straight from the directory: readdir gives them without
    //    a look at each file, and most names read one way only.
    const QByteArray folder = QFile::encodeName(m_camFolder);
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        const int error = errno;
        // No cam/ folder is an empty one: every row goes.
        if (error != ENOENT) {
            summary.failure =
                Failure::of(Failure::Kind::File,
                            QStringLiteral("cannot read %1: %2")
                                .arg(m_camFolder, QString::fromLocal8Bit(strerror(error))),
                            error);
            return summary;
        }
    }
    QList<Listed> listed;
    QSet<QString> sureCameras;
    if (dirFd >= 0) {
        DIR *dir = fdopendir(::dup(dirFd));
        while (dir) {
            const dirent *entry = readdir(dir);
            if (!entry)
                break;
            if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
                continue;
            const QString file = QString::fromUtf8(entry->d_name);
            QList<SnapshotReading> readings = SnapshotNameReader::readings(file);
            if (readings.isEmpty()) {
                ++summary.ignored;
                continue;
            }
            if (readings.size() == 1)
                sureCameras.insert(readings.first().camera);
            listed.append(Listed{file, std::move(readings)});
        }
        if (dir)
            closedir(dir);
    }

    // 2. What the index holds now, through a connection of the scan's own:
    //    with the write-ahead log, look-ups on the other one never wait for it.
    sqlite3 *db = nullptr;
    auto closeAll = [&] {
        if (db)
            sqlite3_close_v2(db);
        if (dirFd >= 0)
            ::close(dirFd);
    };
    auto failed = [&](const QString &what) {
        summary.failure = databaseFailure(db, what);
        closeAll();
        return summary;
    };
    if (sqlite3_open_v2(QFile::encodeName(m_databasePath).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return failed(QStringLiteral("cannot open the picture index"));
    sqlite3_busy_timeout(db, 10000);
    auto run = [&db](const char *sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    // Room for the whole index of a large folder in memory while it is made.
    run("PRAGMA cache_size=-65536");
    run("PRAGMA synchronous=NORMAL");
    QSet<QString> indexed;
    {
        Statement stmt(db, "SELECT file FROM pictures");
        if (!stmt.ok())
            return failed(QStringLiteral("cannot read the picture index"));
        while (stmt.step() == SQLITE_ROW)
            indexed.insert(stmt.text(0));
    }
    {
        std::lock_guard guard(m_lock);
        sureCameras.unite(m_knownCameras);
    }

    // 3. New files. Their sizes come later (fillSizes): a look at each of a
    //    million files costs far more than reading their names. Only a name
    //    that reads two ways, neither settled by the cameras in use, is
    //    settled by its file's modification time.
    auto statOf = [dirFd](const QString &file, struct stat *info) {
        return dirFd >= 0 &&
               fstatat(dirFd, QFile::encodeName(file).constData(), info, AT_SYMLINK_NOFOLLOW) ==
                   0 &&
               S_ISREG(info->st_mode);
    };
    LocalClock localClock;
    QList<IndexedPicture> fresh;
    QSet<QString> present;
    for (const Listed &entry : std::as_const(listed)) {
        if (!indexed.isEmpty())
            present.insert(entry.file);
        if (indexed.contains(entry.file)) {
            ++summary.kept;
            continue;
        }
        const std::optional<SnapshotReading> reading =
            SnapshotNameReader::choose(entry.readings, sureCameras, [&] {
                struct stat info = {};
                return statOf(entry.file, &info)
                           ? QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec)
                           : QDateTime();
            });
        IndexedPicture picture;
        picture.camera = reading->camera;
        picture.timeMs = localClock.msecsSinceEpoch(reading->date, reading->time);
        picture.file = entry.file;
        fresh.append(picture);
    }
    listed.clear();
    QStringList gone;
    for (const QString &file : std::as_const(indexed)) {
        struct stat info = {};
        // Saved after the listing was read: still there.
        if (!present.contains(file) && !statOf(file, &info))
            gone.append(file);
    }

    // 4. The rows, in the key's order, so each batch appends to the table
    //    rather than touching every page of it. Into an empty table (the
    //    first scan) without the time index, made once at the end: sorting
    //    once beats a scattered insert per row.
    std::sort(fresh.begin(), fresh.end(),
              [](const IndexedPicture &a, const IndexedPicture &b) { return a.file < b.file; });
    const bool bulk = indexed.isEmpty() && fresh.size() > ScanBatch;
    if (bulk && !run("DROP INDEX IF EXISTS pictures_by_time"))
        return failed(QStringLiteral("cannot write the picture index"));
    for (qsizetype at = 0; at < fresh.size(); at += ScanBatch) {
        Statement stmt(db, "INSERT OR IGNORE INTO pictures(file, camera, time)"
                           " VALUES(?, ?, ?)");
        if (!stmt.ok() || !run("BEGIN IMMEDIATE"))
            return failed(QStringLiteral("cannot write the picture index"));
        const qsizetype end = std::min(fresh.size(), at + ScanBatch);
        for (qsizetype i = at; i < end; ++i) {
            const IndexedPicture &picture = fresh.at(i);
            stmt.bind(1, picture.file);
            stmt.bind(2, picture.camera);
            stmt.bind(3, picture.timeMs);
            if (stmt.step() == SQLITE_DONE)
                summary.added += sqlite3_changes(db);
            stmt.reset();
        }
        if (!run("COMMIT")) {
            run("ROLLBACK");
            return failed(QStringLiteral("cannot write the picture index"));
        }
    }
    if (!run("CREATE INDEX IF NOT EXISTS pictures_by_time ON pictures(camera, time)"))
        return failed(QStringLiteral("cannot write the picture index"));

    // 5. Rows whose file has gone, and those retention deleted meanwhile: our
    //    listing may have held them still.
    {
        std::lock_guard guard(m_lock);
        gone.append(QStringList(m_removedDuringScan.begin(), m_removedDuringScan.end()));
        m_removedDuringScan.clear();
    }
    Statement remove(db, "DELETE FROM pictures WHERE file = ?");
    if (!remove.ok() || !run("BEGIN IMMEDIATE"))
        return failed(QStringLiteral("cannot write the picture index"));
    for (const QString &file : std::as_const(gone)) {
        remove.bind(1, file);
        if (remove.step() == SQLITE_DONE)
            summary.removed += sqlite3_changes(db);
        remove.reset();
    }
    if (!run("COMMIT")) {
        run("ROLLBACK");
        return failed(QStringLiteral("cannot write the picture index"));
    }
    closeAll();
    summary.elapsedMs = clock.elapsed();
    return summary;
}

void PictureIndex::startScan()
{
    waitForScan();
    m_stopping = false;
    m_scanning = true;
    m_worker = std::thread([this] {
        const ScanSummary summary = scanNow();
        {
            std::lock_guard guard(m_lock);
            m_removedDuringScan.clear();
        }
        m_scanning = false;
        emit scanFinished(summary);
        if (!summary.failure)
            emit sizesFilled(fillSizes());
    });
}

int PictureIndex::fillSizes()
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(m_databasePath).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return 0;
    }
    sqlite3_busy_timeout(db, 10000);
    QStringList files;
    {
        Statement stmt(db, "SELECT file FROM pictures WHERE size IS NULL");
        while (stmt.ok() && stmt.step() == SQLITE_ROW)
            files.append(stmt.text(0));
    }
    const QByteArray folder = QFile::encodeName(m_camFolder);
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int filled = 0;
    for (qsizetype at = 0; dirFd >= 0 && at < files.size() && !m_stopping.load(); at += ScanBatch) {
        const qsizetype end = std::min(files.size(), at + ScanBatch);
        QList<std::pair<QString, qint64>> sizes;
        for (qsizetype i = at; i < end; ++i) {
            struct stat info = {};
            if (fstatat(dirFd, QFile::encodeName(files.at(i)).constData(), &info,
                        AT_SYMLINK_NOFOLLOW) == 0)
                sizes.append({files.at(i), qint64(info.st_size)});
        }
        Statement stmt(db, "UPDATE pictures SET size = ? WHERE file = ?");
        if (!stmt.ok() ||
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            break;
        for (const auto &[file, size] : std::as_const(sizes)) {
            stmt.bind(1, size);
            stmt.bind(2, file);
            if (stmt.step() == SQLITE_DONE)
                filled += sqlite3_changes(db);
            stmt.reset();
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    if (dirFd >= 0)
        ::close(dirFd);
    sqlite3_close_v2(db);
    return filled;
}

void PictureIndex::waitForScan()
{
    if (m_worker.joinable())
        m_worker.join();
}

QList<IndexedPicture> PictureIndex::select(const char *sql, const QString &camera, qint64 a,
                                           qint64 b) const
{
    std::lock_guard guard(m_lock);
    QList<IndexedPicture> pictures;
    Statement stmt(m_db, sql);
    if (!stmt.ok())
        return pictures;
    stmt.bind(1, camera);
    stmt.bind(2, a);
    if (sqlite3_bind_parameter_count(stmt.get()) >= 3)
        stmt.bind(3, b);
    while (stmt.step() == SQLITE_ROW)
        pictures.append(pictureFrom(stmt));
    return pictures;
}

QStringList PictureIndex::cameras() const
{
    std::lock_guard guard(m_lock);
    QStringList names;
    // The index on (camera, time) gives the distinct cameras without a pass
    // over every row.
    Statement stmt(m_db, "SELECT DISTINCT camera FROM pictures ORDER BY camera");
    while (stmt.ok() && stmt.step() == SQLITE_ROW)
        names.append(stmt.text(0));
    return names;
}

int PictureIndex::count(const QString &camera) const
{
    std::lock_guard guard(m_lock);
    Statement stmt(m_db, "SELECT COUNT(*) FROM pictures WHERE camera = ?");
    if (!stmt.ok())
        return 0;
    stmt.bind(1, camera);
    return stmt.step() == SQLITE_ROW ? int(stmt.integer(0)) : 0;
}

QList<IndexedPicture> PictureIndex::between(const QString &camera, const QDateTime &from,
                                            const QDateTime &to) const
{
    static const QByteArray sql = QByteArray(SelectColumns) +
                                  "WHERE camera = ? AND time >= ? AND time < ?"
                                  // Within one second: the plain name, then -2, -3, ... -10.
                                  " ORDER BY time, length(file), file";
    return select(sql.constData(), camera, from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch());
}

QList<IndexedPicture> PictureIndex::day(const QString &camera, const QDate &date) const
{
    return between(camera, date.startOfDay(), date.addDays(1).startOfDay());
}

QList<QDate> PictureIndex::days(const QString &camera) const
{
    QList<QDate> found;
    std::lock_guard guard(m_lock);
    // Hop from day to day through the time index: one look-up per day with
    // pictures, never a pass over them all.
    Statement stmt(m_db, "SELECT MIN(time) FROM pictures WHERE camera = ? AND time >= ?");
    if (!stmt.ok())
        return found;
    qint64 from = std::numeric_limits<qint64>::min();
    for (;;) {
        stmt.bind(1, camera);
        stmt.bind(2, from);
        if (stmt.step() != SQLITE_ROW || stmt.isNull(0))
            break;
        const QDate date = QDateTime::fromMSecsSinceEpoch(stmt.integer(0)).date();
        found.append(date);
        from = date.addDays(1).startOfDay().toMSecsSinceEpoch();
        stmt.reset();
    }
    return found;
}

QList<IndexedPicture> PictureIndex::lastBefore(const QString &camera, const QDateTime &moment,
                                               int limit) const
{
    static const QByteArray sql = QByteArray(SelectColumns) +
                                  "WHERE camera = ? AND time < ?"
                                  " ORDER BY time DESC, length(file) DESC, file DESC LIMIT ?";
    QList<IndexedPicture> pictures =
        select(sql.constData(), camera, moment.toMSecsSinceEpoch(), std::max(limit, 0));
    std::reverse(pictures.begin(), pictures.end());
    return pictures;
}

QList<IndexedPicture> PictureIndex::firstFrom(const QString &camera, const QDateTime &moment,
                                              int limit) const
{
    static const QByteArray sql = QByteArray(SelectColumns) +
                                  "WHERE camera = ? AND time >= ?"
                                  " ORDER BY time, length(file), file LIMIT ?";
    return select(sql.constData(), camera, moment.toMSecsSinceEpoch(), std::max(limit, 0));
}

std::optional<IndexedPicture> PictureIndex::nearest(const QString &camera,
                                                    const QDateTime &moment) const
{
    static const QByteArray before =
        QByteArray(SelectColumns) + "WHERE camera = ? AND time <= ? ORDER BY time DESC LIMIT 1";
    static const QByteArray after =
        QByteArray(SelectColumns) + "WHERE camera = ? AND time >= ? ORDER BY time LIMIT 1";
    const qint64 ms = moment.toMSecsSinceEpoch();
    const QList<IndexedPicture> earlier = select(before.constData(), camera, ms, 0);
    const QList<IndexedPicture> later = select(after.constData(), camera, ms, 0);
    if (earlier.isEmpty() && later.isEmpty())
        return std::nullopt;
    if (earlier.isEmpty())
        return later.first();
    if (later.isEmpty())
        return earlier.first();
    return ms - earlier.first().timeMs <= later.first().timeMs - ms ? earlier.first()
                                                                    : later.first();
}

QList<IndexedEvent> PictureIndex::events(const QString &camera, const QDateTime &from,
                                         const QDateTime &to) const
{
    std::lock_guard guard(m_lock);
    QList<IndexedEvent> found;
    Statement stmt(m_db, "SELECT event, MIN(time), MAX(time), COUNT(*), MAX(score) FROM pictures"
                         " WHERE camera = ? AND time >= ? AND time < ? AND event IS NOT NULL"
                         " GROUP BY event ORDER BY MIN(time)");
    if (!stmt.ok())
        return found;
    stmt.bind(1, camera);
    stmt.bind(2, from.toMSecsSinceEpoch());
    stmt.bind(3, to.toMSecsSinceEpoch());
    while (stmt.step() == SQLITE_ROW) {
        IndexedEvent event;
        event.event = stmt.integer(0);
        event.firstMs = stmt.integer(1);
        event.lastMs = stmt.integer(2);
        event.pictures = int(stmt.integer(3));
        if (!stmt.isNull(4))
            event.topScore = sqlite3_column_double(stmt.get(), 4);
        found.append(event);
    }
    return found;
}

QString PictureIndex::pathOf(const IndexedPicture &picture) const
{
    return m_camFolder + QLatin1Char('/') + picture.file;
}
