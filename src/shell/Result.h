#pragma once

#include <optional>
#include <utility>

#include <QMetaType>
#include <QString>

// What went wrong, in the one shape every layer below the window reports it:
// a kind to branch on, the system's error number where there is one, and the
// sentence a person reads. A number travels as a number, never inside the text.
struct Failure
{
    enum class Kind {
        File,        // a file or directory could not be read or written
        NameTaken,   // the file name was taken by someone else meanwhile
        Encode,      // pixels could not be encoded
        Decode,      // bytes could not be decoded into a picture
        Network,     // connecting, sending or receiving failed
        Timeout,     // no complete answer in the time allowed
        TooLarge,    // an answer larger than we take
        NotAPicture, // an answer that is not a picture
        BadAddress,  // an address we cannot fetch from
        HttpStatus,  // the camera answered with a status other than 2xx
        Certificate, // an HTTPS camera's certificate is not trusted
        Refused,     // the request makes no sense in the current state
        Unexpected,  // anything else; the text says what
    };

    Kind kind = Kind::Unexpected;
    // errno of the failing system call; 0 when no system call failed.
    int systemError = 0;
    QString text;

    static Failure of(Kind kind, QString text, int systemError = 0)
    {
        return Failure{kind, systemError, std::move(text)};
    }
};

Q_DECLARE_METATYPE(Failure)

// A value or the Failure that kept it from being made, like std::expected.
template <typename T>
class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    Result(Failure failure)
        : m_failure(std::move(failure))
    {
    }

    bool ok() const { return !m_failure.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    // Only when !ok().
    const Failure &failure() const { return *m_failure; }
    // The failure's sentence, or empty text when there is none.
    QString errorText() const { return m_failure ? m_failure->text : QString(); }

private:
    std::optional<T> m_value;
    std::optional<Failure> m_failure;
};
