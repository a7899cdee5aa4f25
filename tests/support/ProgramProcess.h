#pragma once

#include <memory>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

// A program of ours run as a process by a test (the viewer in --record, the
// demo camera): started at once, killed if still running when the test ends,
// its output gathered as it comes.
class ProgramProcess
{
public:
    ProgramProcess(const QString &program, const QStringList &arguments)
    {
        m_process.start(program, arguments);
    }
    ~ProgramProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    ProgramProcess(const ProgramProcess &) = delete;
    ProgramProcess &operator=(const ProgramProcess &) = delete;

    QProcess &operator*() { return m_process; }
    QProcess *operator->() { return &m_process; }

    // Standard output so far.
    QString out()
    {
        m_out += m_process.readAllStandardOutput();
        return QString::fromLocal8Bit(m_out);
    }
    // The complete lines of standard output so far.
    QStringList lines()
    {
        const QString text = out();
        const qsizetype end = text.lastIndexOf(QLatin1Char('\n'));
        return end < 0 ? QStringList() : text.left(end).split(QLatin1Char('\n'));
    }
    QString errors()
    {
        m_err += m_process.readAllStandardError();
        return QString::fromLocal8Bit(m_err);
    }
    int count(const QString &text) { return int(errors().count(text)); }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

// The demo camera's options for its walker scene, with the scene's clock set
// so that the person (who crosses in the first 20 s of each minute) steps in
// about startsIn seconds from now: time for a detector to learn the empty view.
inline QStringList walkerSceneOptions(int startsIn)
{
    const qint64 second = QDateTime::currentSecsSinceEpoch() % 60;
    return {"--scene", "walker", "--scene-offset",
            QString::number(((60 - startsIn - second) % 60 + 60) % 60)};
}

#ifdef TESSALY_DEMOCAM_PATH
// The demo camera on a free port of 127.0.0.1, with these options besides;
// *port is 0 (and the test failed) when it named none.
inline std::unique_ptr<ProgramProcess> startDemoCam(const QStringList &options, quint16 *port,
                                                    int timeoutMs = 30000)
{
    auto demo = std::make_unique<ProgramProcess>(QStringLiteral(TESSALY_DEMOCAM_PATH),
                                                 QStringList{"--port", "0"} + options);
    const QRegularExpression pattern(QStringLiteral(R"(http://127\.0\.0\.1:(\d+)/cam1\.jpg)"));
    if (!QTest::qWaitFor([&] { return pattern.match(demo->out()).hasMatch(); }, timeoutMs))
        ADD_FAILURE() << "the demo camera printed no port: " << demo->errors().toStdString();
    *port = pattern.match(demo->out()).captured(1).toUShort();
    return demo;
}
#endif
