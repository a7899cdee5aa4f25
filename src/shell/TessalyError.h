#pragma once

#include <stdexcept>

#include <QString>

// A numbered error raised by a routine (the JPEG writer's 26001, the machine
// settings' base + n). Caught where it is handled; never let into the event loop.
class TessalyError : public std::runtime_error
{
public:
    TessalyError(qint64 number, QString source, QString description)
        : std::runtime_error(description.toStdString())
        , m_number(number)
        , m_source(std::move(source))
        , m_description(std::move(description))
    {
    }

    qint64 number() const { return m_number; }
    const QString &source() const { return m_source; }
    const QString &description() const { return m_description; }

private:
    qint64 m_number;
    QString m_source;
    QString m_description;
};
