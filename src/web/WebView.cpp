#include "WebView.h"

#include <QDir>
#include <QHostInfo>
#include <QStandardPaths>

#include "WebServer.h"
#include "WebSessions.h"

WebView::WebView() = default;

WebView::~WebView()
{
    stop();
}

QString WebView::sessionsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/web-sessions");
}

Result<QStringList> WebView::start()
{
    return start(Settings::webView(), Settings::webPasswordHash(), Settings::webCertificate(),
                 Settings::webKey());
}

Result<QStringList> WebView::start(const Settings::WebView &view, const QString &passwordHash,
                                   const QString &certificatePath, const QString &keyPath)
{
    stop();
    if (!view.on)
        return Failure::of(Failure::Kind::Refused, QStringLiteral("The web view is off."));
    if (passwordHash.isEmpty())
        return Failure::of(Failure::Kind::Refused, WebServer::noPasswordText());
    const QString host = QHostInfo::localHostName();
    const Result<WebCertificate> certificate = WebCertificate::obtain(
        certificatePath, keyPath,
        {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("::1"), host,
         host + QStringLiteral(".local"), view.address});
    if (!certificate)
        return Failure::of(certificate.failure().kind,
                           QStringLiteral("The web view has no certificate: ") +
                               certificate.errorText());
    m_certificate = certificate.value();
    m_sessions = std::make_unique<WebSessions>(sessionsPath(), QDateTime::currentSecsSinceEpoch());
    m_server = std::make_unique<WebServer>(&m_board, m_sessions.get(), passwordHash);
    m_server->setPictureIndex(m_index);
    const Result<bool> started = m_server->start(view.address, view.port, m_certificate);
    if (!started) {
        m_server.reset();
        return started.failure();
    }
    const QString address = view.address.contains(QLatin1Char(':'))
                                ? QLatin1Char('[') + view.address + QLatin1Char(']')
                                : view.address;
    QStringList lines;
    if (m_certificate.made)
        lines << QStringLiteral("made a self-signed certificate for the web view: %1")
                     .arg(QDir::toNativeSeparators(m_certificate.certificatePath));
    lines << QStringLiteral("web view on https://%1:%2/").arg(address).arg(m_server->port())
          << QStringLiteral("web view certificate SHA-256 %1").arg(m_certificate.fingerprintText());
    return lines;
}

void WebView::setPictureIndex(PictureIndex *index)
{
    m_index = index;
    if (m_server)
        m_server->setPictureIndex(index);
}

void WebView::stop()
{
    if (m_server)
        m_server->stop();
    m_server.reset();
    m_sessions.reset();
}

bool WebView::isRunning() const
{
    return m_server && m_server->isRunning();
}

quint16 WebView::port() const
{
    return m_server ? m_server->port() : 0;
}
