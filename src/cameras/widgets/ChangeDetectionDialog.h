#pragma once

#include <QDialog>

#include "SceneChangeDetector.h"

class CellMaskCanvas;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;

// Cams -> Change Detection... for one camera: the sensitivity, the minimum
// area and the mask, painted on the camera's current picture, with the
// detector's changed cells over it while the dialog is open. Every edit is
// announced at once (optionsChanged), so the camera's detector can follow and
// the overlay shows the effect; OK stores the options for the camera's name
// (DetectionSettings) and announces them as chosen, Cancel leaves what was
// stored.
class ChangeDetectionDialog : public QDialog
{
    Q_OBJECT
public:
    ChangeDetectionDialog(const QString &camera, const DetectionOptions &current,
                          QWidget *parent = nullptr);

    QString camera() const { return m_camera; }
    // What the controls say now.
    DetectionOptions options() const;

    CellMaskCanvas *canvas() const { return picMask; }

public slots:
    // The camera's newest picture and what the detector found changed in it.
    void showPicture(const QImage &picture, const QBitArray &changedCells);

signals:
    void optionsChanged(const DetectionOptions &options);
    // After OK: stored (or, when stored is false, kept for this run only).
    void optionsChosen(const QString &camera, const DetectionOptions &options, bool stored);

private:
    void okClicked();
    void announce();

    QString m_camera;
    DetectionOptions m_base; // what the dialog does not edit (quietToEnd)
    QSlider *sldSensitivity = nullptr;
    QLabel *lblSensitivity = nullptr;
    QDoubleSpinBox *spnMinArea = nullptr;
    CellMaskCanvas *picMask = nullptr;
    QPushButton *cmdClearMask = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
};
