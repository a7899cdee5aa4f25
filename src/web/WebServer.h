#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <thread>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

#include "LoginThrottle.h"
#include "Result.h"
#include "WebCertificate.h"

class PictureIndex;
class WebCameraBoard;
class WebSessions;
struct MHD_Daemon;
struct MHD_Connection;

// One request as the server's routes see it: already parsed by libmicrohttpd.
struct WebRequest
{
    QByteArray method;
    QByteArray path;          // percent-decoded, without the query
    QByteArray sessionCookie; // the value of our cookie, if any
    QString clientAddress;
    QByteArray body;        // a form's body (POST), at most WebServer::MaxBodyBytes
    QByteArray origin;      // the Origin header, if any
    QByteArray host;        // the Host header
    qint64 headerBytes = 0; // request line and header fields together
    QByteArray around;      // the query's "around" argument, as sent
};

struct WebReply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// The web view's HTTPS server: libmicrohttpd on its own threads (an epoll
// loop per worker), TLS through its GnuTLS, the routes below. Nothing here
// runs on the event loop, and no request waits on the capture: the cameras
// are read from a WebCameraBoard, which hands out copies.
//
//   GET  /login, /style.css     the login page and its stylesheet, for anyone
//   POST /login                 field "password": a session cookie and 303 to /
//   POST /logout                ends the session, 303 to /login
//   GET  /, /camera/<id>        the grid and one camera (pages: else 303 to /login)
//   GET  /app.js                the pages' script
//   GET  /api/cameras           [{id, name, state, time, picture, grid, ...}]
//   GET  /camera/<id>/latest.jpg  the camera's own bytes of its latest picture
//   GET  /camera/<id>/grid.jpg    a panel-size copy, made when first asked for
//   GET  /api/camera/<id>/pictures[?around=<ms since the epoch>]
//                               [{time, picture, small}]: saved pictures from the
//                               index, today's or those around a moment, newest first
//   GET  /camera/<id>/saved/<key>.jpg, <key>.small.jpg
//                               one saved picture, found by its key in the index
//
// Routes are a fixed table: no path from a URL ever reaches a file. A saved
// picture's file is the one its index row names, and the row must be the
// camera's own.
class WebServer
{
public:
    struct Limits
    {
        int connections = 64;             // at once, from everyone
        int connectionsPerAddress = 16;   // at once, from one address
        int idleSeconds = 15;             // nothing received or sent for this long: closed
        qint64 requestDeadlineMs = 10000; // TLS handshake plus a whole request header, at most
        int threads = 2;
    };
    static constexpr qint64 MaxHeaderBytes = 16 * 1024;
    static constexpr qint64 MaxBodyBytes = 4096;
    static constexpr const char *CookieName = "tessaly_session";
    // Saved pictures one list names at most; around a moment, half before it.
    static constexpr int MaxSavedListed = 50;
    // A saved file larger than this is not served.
    static constexpr qint64 MaxSavedBytes = 32 * 1024 * 1024;

    using Clock = std::function<qint64()>; // milliseconds

    WebServer(WebCameraBoard *board, WebSessions *sessions, QString passwordHash);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    void setLimits(const Limits &limits) { m_limits = limits; }
    // Monotonic milliseconds for the login throttle and wall-clock seconds for
    // the sessions; tests put their own. The deadlines always run on the real
    // monotonic clock.
    void setClocks(Clock monotonicMs, Clock wallSecs);
    // The index of saved pictures the camera pages list, or none. Only read,
    // from the server's threads (PictureIndex takes calls from any thread).
    // Once this returns, no request uses the index given before, so whoever
    // owns it unsets it (or stops the server) before it goes.
    void setPictureIndex(PictureIndex *index);

    // The opaque key of a saved picture in its addresses: its time and a
    // hash of its file name, so two pictures of one second differ.
    static QByteArray savedKey(qint64 timeMs, const QString &file);

    // Listens on address:port (port 0: any free one) with the certificate.
    // A Failure says why not: no password set, the address is taken, TLS
    // refuses the certificate.
    Result<bool> start(const QString &address, quint16 port, const WebCertificate &certificate);
    void stop();
    bool isRunning() const { return m_daemon != nullptr; }
    quint16 port() const { return m_port; }

    // The answer to one request; what the threads call. Public for tests.
    WebReply respond(const WebRequest &request);

    // Requests answered and connections the deadline closed, for tests and the bench.
    quint64 requestsServed() const { return m_served; }
    quint64 connectionsCutOff() const { return m_cutOff; }

    // What a person reads when the web view cannot start for want of a password.
    static QString noPasswordText();

private:
    friend struct WebServerGlue; // libmicrohttpd's callbacks
    struct Connection;
    void watchDeadlines();

    WebReply page(const WebRequest &request, int cameraId);
    WebReply login(const WebRequest &request);
    WebReply logout(const WebRequest &request);
    WebReply cameras();
    WebReply picture(int id, bool grid);
    WebReply savedPictures(int id, const QByteArray &around);
    WebReply savedPicture(int id, const QByteArray &rest);
    bool hasSession(const WebRequest &request);

    WebCameraBoard *m_board;
    WebSessions *m_sessions;
    std::shared_mutex m_indexMutex;
    PictureIndex *m_index = nullptr;
    QString m_passwordHash;
    LoginThrottle m_throttle;
    Limits m_limits;
    Clock m_monotonicMs;
    Clock m_wallSecs;
    MHD_Daemon *m_daemon = nullptr;
    quint16 m_port = 0;
    QByteArray m_certificatePem;
    QByteArray m_keyPem;
    std::atomic<quint64> m_served = 0;
    std::atomic<quint64> m_cutOff = 0;

    // Connections still in their TLS handshake or header, watched against
    // the request deadline by a thread of its own.
    std::mutex m_watchMutex;
    std::condition_variable m_watchWake;
    std::map<Connection *, std::unique_ptr<Connection>> m_connections;
    std::thread m_watcher;
    bool m_stopping = false;
};
