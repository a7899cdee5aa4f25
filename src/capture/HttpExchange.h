#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include "CameraAddress.h"

class QSocketNotifier;

// What one snapshot fetch asks for.
struct FetchRequest
{
    CameraAddress address;
    // SHA-256 of the one certificate the user trusts for this host and port
    // (32 bytes). Empty: the certificate must verify against the CA store.
    QByteArray pinnedSha256;
    // Connect, take whatever certificate the peer shows and report its
    // fingerprint; send no request. What trusting a certificate starts with.
    bool probeCertificate = false;
    // A CA bundle file instead of the system's (tests bring their own CA).
    QString caFile;
    // The most a body may hold; a declared Content-Length above it is refused
    // at the header.
    qint64 maxBytes = 64 * 1024 * 1024;
    // 0: no limit of our own (the caller restarts at its interval).
    int timeoutMs = 0;
};

// How one fetch ended.
struct FetchResult
{
    enum class Kind {
        Ok,          // a 2xx answer with its body (a stream's first part)
        HttpStatus,  // the final answer was not 2xx: status and reason
        Certificate, // the peer's certificate is not trusted or not the pinned one
        TooLarge,    // declared or received beyond maxBytes
        Stream,      // a multipart stream that broke before its first part ended
        Network,     // could not connect, resolve, read, or the redirects ran out
    };

    Kind kind = Kind::Network;
    // A sentence for people: camera-sent text escaped, no credentials.
    QString text;
    int status = 0;
    QByteArray reasonPhrase; // as the camera sent it; show through DisplayText
    // The final answer's header lines, status line first, without the blank
    // line; for a stream the part's own header lines follow them.
    QByteArray header;
    QByteArray body;
    bool fromStream = false;
    // The peer's leaf certificate, when one was seen.
    QByteArray certificateSha256;
    QString certificateSubject; // escaped
    int redirects = 0;

    bool ok() const { return kind == Kind::Ok; }
    // "AB:CD:…" of certificateSha256.
    QString fingerprintText() const;
};

// Snapshot fetches over libcurl's multi interface, driven by this thread's
// Qt event loop: curl tells which sockets to watch (socket notifiers) and when
// to call back (one timer). Any number of fetches run at once, none with a
// thread of its own. Each fetch is one easy handle on a fresh connection.
//
// Signals are emitted from the event loop, never from inside a curl callback,
// so a slot may start or cancel fetches freely.
class HttpExchange : public QObject
{
    Q_OBJECT
public:
    using FetchId = quint64;
    struct Transfer; // one easy handle and what it has received

    explicit HttpExchange(QObject *parent = nullptr);
    ~HttpExchange() override;

    FetchId start(const FetchRequest &request);
    // Drops the fetch; no signal of it follows. Unknown ids are ignored.
    void cancel(FetchId id);
    int runningCount() const { return int(m_transfers.size()); }

    // "AB:CD:…": the usual way a SHA-256 fingerprint is written.
    static QString fingerprintText(const QByteArray &sha256);
    // The reverse, accepting any letter case and no separators; empty when not
    // 32 bytes of hex.
    static QByteArray fingerprintFromText(const QString &text);

signals:
    // Body bytes so far and the declared length (-1 when none was declared),
    // once per read: headerEnded is set for the read that completed the final
    // answer's header (its body bytes, if any, came with it).
    void progress(FetchId id, qint64 bodyBytes, qint64 declaredLength, bool headerEnded);
    void finished(FetchId id, const FetchResult &result);

private:
    struct Watch
    {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };

    static int onSocket(void *easy, int fd, int what, void *self, void *socketData);
    static int onTimer(void *multi, long timeoutMs, void *self);
    void watch(int fd, int what);
    void act(int fd, int events);
    void collectDone();
    void deliver();
    void finish(Transfer &transfer, int curlCode);
    void drop(std::unique_ptr<Transfer> transfer);

    void *m_multi = nullptr;
    QTimer m_timer;
    std::map<int, Watch> m_watches;
    std::map<FetchId, std::unique_ptr<Transfer>> m_transfers;
    struct Pending
    {
        FetchId id = 0;
        bool done = false;
        qint64 bodyBytes = 0;
        qint64 declared = -1;
        bool headerEnded = false;
        FetchResult result;
    };
    std::vector<Pending> m_pending;
    FetchId m_nextId = 1;
    bool m_delivering = false;
};
