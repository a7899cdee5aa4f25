#include "WebCameraBoard.h"

void WebCameraBoard::setCamera(int id, const QString &name, const QString &refresh)
{
    const std::lock_guard lock(m_mutex);
    Camera &camera = m_cameras[id];
    camera.id = id;
    camera.name = name;
    camera.refresh = refresh;
}

void WebCameraBoard::remove(int id)
{
    const std::lock_guard lock(m_mutex);
    m_cameras.erase(id);
}

void WebCameraBoard::setPicture(int id, const QByteArray &jpeg, const QDateTime &time)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_cameras.find(id);
    if (it == m_cameras.end())
        return; // closed while the picture was on its way
    Camera &camera = it->second;
    // The same bytes fetched again are the same picture, from the same moment.
    if (camera.jpeg == jpeg)
        return;
    camera.jpeg = jpeg;
    camera.time = time;
    ++camera.sequence;
    camera.grid.reset();
    if (camera.state == State::NoPicture)
        camera.state = State::Ok;
}

void WebCameraBoard::setHealth(int id, bool stale, const QString &health)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_cameras.find(id);
    if (it == m_cameras.end())
        return;
    it->second.health = health;
    if (!it->second.jpeg.isEmpty())
        it->second.state = stale ? State::Stale : State::Ok;
}

void WebCameraBoard::setChangeMark(int id, std::optional<bool> changed)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_cameras.find(id);
    if (it != m_cameras.end())
        it->second.changed = changed;
}

std::vector<WebCameraBoard::Camera> WebCameraBoard::cameras() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<Camera> all;
    all.reserve(m_cameras.size());
    for (const auto &[id, camera] : m_cameras)
        all.push_back(camera);
    return all;
}

std::optional<WebCameraBoard::Camera> WebCameraBoard::camera(int id) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_cameras.find(id);
    if (it == m_cameras.end())
        return std::nullopt;
    return it->second;
}

std::shared_ptr<const QByteArray> WebCameraBoard::gridPicture(int id, const GridMaker &make)
{
    QByteArray jpeg;
    quint64 sequence = 0;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_cameras.find(id);
        if (it == m_cameras.end() || it->second.jpeg.isEmpty())
            return nullptr;
        if (it->second.grid && it->second.gridSequence == it->second.sequence)
            return it->second.grid;
        jpeg = it->second.jpeg;
        sequence = it->second.sequence;
    }
    // Scaling takes milliseconds: never under the lock the capture side takes.
    // Two viewers asking at once may both make it; the picture is the same.
    auto grid = std::make_shared<const QByteArray>(make(jpeg));
    if (grid->isEmpty())
        return nullptr;
    const std::lock_guard lock(m_mutex);
    ++m_gridMade;
    const auto it = m_cameras.find(id);
    if (it != m_cameras.end() && it->second.sequence == sequence) {
        it->second.grid = grid;
        it->second.gridSequence = sequence;
    }
    return grid;
}

quint64 WebCameraBoard::gridPicturesMade() const
{
    const std::lock_guard lock(m_mutex);
    return m_gridMade;
}
