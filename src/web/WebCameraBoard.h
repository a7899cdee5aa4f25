#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What the web view knows of the cameras: plain values the capture side puts
// here and the web server's threads read. Nothing on it can reach a camera:
// no address, no user, no password, so no page can show one. Every call may
// come from any thread; a reader gets copies (the JPEG bytes are shared, not
// copied), never a reference into the board.
class WebCameraBoard
{
public:
    enum class State { NoPicture, Ok, Stale };

    struct Camera
    {
        int id = 0;   // stable while the camera is open; its opaque address
        QString name; // as the camera list names it
        State state = State::NoPicture;
        QDateTime time;       // when the latest picture arrived
        QByteArray jpeg;      // the camera's own bytes of that picture
        quint64 sequence = 0; // counts pictures of this camera; a new one is a new address
        QString refresh;      // the refresh interval in seconds, as the list gives it
        QString health;       // one line a person reads: "delivering", "no picture for 2 min: ..."
        std::optional<bool> changed; // the change mark, where change detection runs
        // The panel-size grid picture, made for sequence only when asked for.
        std::shared_ptr<const QByteArray> grid;
        quint64 gridSequence = 0;
    };

    // A camera opened (or renamed, or its refresh changed); its picture is kept.
    void setCamera(int id, const QString &name, const QString &refresh);
    // A camera closed: its picture is forgotten at once.
    void remove(int id);
    // A new picture (the camera's JPEG bytes) arrived at time. The same bytes
    // again change nothing.
    void setPicture(int id, const QByteArray &jpeg, const QDateTime &time);
    // Whether the camera delivers, and the line that says so.
    void setHealth(int id, bool stale, const QString &health);
    void setChangeMark(int id, std::optional<bool> changed);

    // Every camera, by id.
    std::vector<Camera> cameras() const;
    std::optional<Camera> camera(int id) const;

    // The grid picture of the camera's latest picture: made by make (outside
    // the board's lock) the first time it is asked for, then kept until the
    // next picture. Null when the camera has no picture or make fails.
    using GridMaker = std::function<QByteArray(const QByteArray &jpeg)>;
    std::shared_ptr<const QByteArray> gridPicture(int id, const GridMaker &make);
    // How many grid pictures were made: a bench and the tests read it.
    quint64 gridPicturesMade() const;

private:
    mutable std::mutex m_mutex;
    std::map<int, Camera> m_cameras;
    quint64 m_gridMade = 0;
};
