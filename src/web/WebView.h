#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "Result.h"
#include "Settings.h"
#include "WebCameraBoard.h"
#include "WebCertificate.h"

class PictureIndex;
class WebServer;
class WebSessions;

// The web view as the program runs it: the camera board the capture side
// feeds, the sessions (kept in the per-user data directory) and the HTTPS
// server, started from the stored settings. Whoever owns the cameras keeps
// board() up to date; nothing here reaches a camera.
class WebView
{
public:
    WebView();
    ~WebView();

    WebCameraBoard &board() { return m_board; }
    // The index of saved pictures the camera pages list (null: none; the
    // pages then show the live picture only). It may be set before or after
    // start(). Whoever owns the index unsets it, or stops the web view, before
    // the index goes: once this returns, no request uses the one before.
    void setPictureIndex(PictureIndex *index);

    // Starts as the stored settings say ("webView", the password hash, the
    // user's own certificate or the one made here). The lines to tell the
    // user (address, certificate fingerprint), or why it did not start: off,
    // no password, a certificate that cannot be read or made, a taken port.
    Result<QStringList> start();
    Result<QStringList> start(const Settings::WebView &view, const QString &passwordHash,
                              const QString &certificatePath, const QString &keyPath);
    void stop();
    bool isRunning() const;
    quint16 port() const;
    const WebCertificate &certificate() const { return m_certificate; }

    // Where sessions are kept between runs.
    static QString sessionsPath();

private:
    WebCameraBoard m_board;
    WebCertificate m_certificate;
    PictureIndex *m_index = nullptr;
    std::unique_ptr<WebSessions> m_sessions;
    std::unique_ptr<WebServer> m_server;
};
