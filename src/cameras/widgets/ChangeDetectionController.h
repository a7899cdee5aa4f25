#pragma once

#include <functional>

#include <QObject>
#include <QPointer>

class Camera;
class CameraEngine;
class ChangeDetectionDialog;
class ViewerPane;
class QWidget;

// The window's side of change detection: it switches the cameras' detectors
// on as stored, draws what the selected camera's detector counts over the
// viewer while "Show Changes" is on, and runs Cams -> Change Detection... for
// the selected camera, whose edits the camera's detector follows at once.
class ChangeDetectionController : public QObject
{
    Q_OBJECT
public:
    ChangeDetectionController(CameraEngine &engine, ViewerPane &viewer, QWidget *window,
                              std::function<int()> selectedCam);

    // Reads the stored switch and the regular-picture interval; detection
    // judges the panels' own decodes, so it costs the window no decode of its own.
    void start();

    bool showsChanges() const { return m_showChanges; }
    void setShowChanges(bool show);
    // The viewer shows another camera.
    void selectionChanged();
    // Cams -> Change Detection... for the selected camera.
    void showDialog();
    ChangeDetectionDialog *dialog() const;

signals:
    void statusText(const QString &text);

private:
    void judged(Camera *camera);
    void refreshOverlay();
    void feedDialog(const Camera &camera);

    CameraEngine &m_engine;
    ViewerPane &m_viewer;
    QWidget *m_window = nullptr;
    std::function<int()> m_selectedCam;
    bool m_showChanges = false;
    QPointer<ChangeDetectionDialog> m_dialog;
};
