#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QList>

// What "save only changes" saves of one camera's pictures: the picture
// before a change (so the change is seen against what was there), every
// changed picture, a few after the change (what it left behind) and,
// optionally, one picture every so many minutes, so a quiet day still has
// a regular record.
//
// Pure: it is offered each arriving picture in order, with its time and the
// detector's verdict, and answers which pictures to save now. The picture
// before a change is only known to be wanted when the change comes, so the
// latest picture not saved is held, as the camera's bytes (shared, not
// copied), until the next one replaces it.
class ChangeCapture
{
public:
    static constexpr int DefaultAfterCount = 2;

    struct Options
    {
        // Quiet pictures saved after the last changed one.
        int afterCount = DefaultAfterCount;
        // A regular picture every this many minutes; 0 for none.
        int alsoEveryMinutes = 0;
    };

    enum class Reason {
        Before,  // the picture before a change
        Changed, // a changed picture
        After,   // one of the quiet pictures after a change
        Regular, // the picture of the regular record
    };

    struct Save
    {
        QByteArray bytes;
        QDateTime time;
        Reason reason = Reason::Changed;
    };

    ChangeCapture();
    explicit ChangeCapture(Options options);

    const Options &options() const { return m_options; }
    void setOptions(const Options &options) { m_options = options; }

    // The next picture of the camera. Returns what to save now, oldest first:
    // nothing, this picture, or the held picture before this one and this one.
    QList<Save> offer(const QByteArray &bytes, const QDateTime &time, bool changed);

    // Forgets the held picture and any change in progress (the camera was
    // stopped, or the mode was switched).
    void reset();

private:
    bool regularDue(const QDateTime &time) const;

    Options m_options;
    std::optional<Save> m_held;
    int m_afterLeft = 0;
    QDateTime m_lastRegular;
};
