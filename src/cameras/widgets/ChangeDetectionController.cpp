#include "ChangeDetectionController.h"

#include "Camera.h"
#include "CameraEngine.h"
#include "ChangeDetectionDialog.h"
#include "DetectionSettings.h"
#include "Settings.h"
#include "TessalyError.h"
#include "ViewerPane.h"

namespace {
// The picture the mask is painted on: big enough to see a cell's content.
const QSize MaskPictureSize(640, 480);
} // namespace

ChangeDetectionController::ChangeDetectionController(CameraEngine &engine, ViewerPane &viewer,
                                                     QWidget *window,
                                                     std::function<int()> selectedCam)
    : QObject(window)
    , m_engine(engine)
    , m_viewer(viewer)
    , m_window(window)
    , m_selectedCam(std::move(selectedCam))
{
    connect(&m_engine, &CameraEngine::changeJudged, this,
            [this](Camera *camera) { judged(camera); });
    connect(&m_engine, &CameraEngine::stopped, this, [this] { refreshOverlay(); });
}

ChangeDetectionDialog *ChangeDetectionController::dialog() const
{
    return m_dialog;
}

void ChangeDetectionController::start()
{
    bool on = true;
    ChangeCapture::Options capture;
    try {
        on = Settings::detect();
        capture.alsoEveryMinutes = Settings::alsoEveryMinutes();
    } catch (const std::exception &e) {
        // Detection with the defaults beats none: it is what a new user gets.
        emit statusText(tr("The change detection settings cannot be read (%1); the defaults apply")
                            .arg(QString::fromLocal8Bit(e.what())));
    }
    m_engine.setJudgesPanelDecode(true);
    m_engine.setDetection(on, capture);
}

void ChangeDetectionController::setShowChanges(bool show)
{
    m_showChanges = show;
    refreshOverlay();
}

void ChangeDetectionController::selectionChanged()
{
    refreshOverlay();
}

void ChangeDetectionController::refreshOverlay()
{
    const Camera *camera = m_engine.camera(m_selectedCam());
    m_viewer.setChangeOverlay(m_showChanges && camera ? camera->lastVerdict().changedCells
                                                      : QBitArray());
}

void ChangeDetectionController::judged(Camera *camera)
{
    if (camera->panel() != m_selectedCam())
        return;
    refreshOverlay();
    if (m_dialog && m_dialog->camera() == camera->name())
        feedDialog(*camera);
}

void ChangeDetectionController::feedDialog(const Camera &camera)
{
    const Picture &picture = camera.picture();
    m_dialog->showPicture(
        picture.scaled(picture.size().scaled(MaskPictureSize, Qt::KeepAspectRatio)),
        camera.lastVerdict().changedCells);
}

void ChangeDetectionController::showDialog()
{
    Camera *camera = m_engine.camera(m_selectedCam());
    if (!camera) {
        emit statusText(tr("Select an open camera to set its change detection."));
        return;
    }
    if (m_dialog)
        m_dialog->close();
    const QString name = camera->name();
    auto *dialog = new ChangeDetectionDialog(name, camera->detectionOptions(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog = dialog;
    // The camera is looked up by name each time: it may be stopped or moved
    // while the dialog is open.
    const auto follow = [this, name](const DetectionOptions &options) {
        if (Camera *open = m_engine.cameraNamed(name))
            open->setDetectionOptions(options);
    };
    connect(dialog, &ChangeDetectionDialog::optionsChanged, this, follow);
    connect(dialog, &ChangeDetectionDialog::optionsChosen, this,
            [this, follow](const QString &, const DetectionOptions &options, bool stored) {
                follow(options);
                if (!stored)
                    emit statusText(tr("The change detection settings could not be stored; "
                                       "they hold until the camera is closed."));
            });
    // Cancel: back to what is stored.
    connect(dialog, &QDialog::rejected, this,
            [follow, name] { follow(DetectionSettings::load(name)); });
    if (!camera->picture().isNull())
        feedDialog(*camera);
    dialog->show();
}
