#include "ChangeDetectionDialog.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "CellMaskCanvas.h"
#include "DetectionSettings.h"
#include "DialogFonts.h"

ChangeDetectionDialog::ChangeDetectionDialog(const QString &camera, const DetectionOptions &current,
                                             QWidget *parent)
    : QDialog(parent)
    , m_camera(camera)
    , m_base(current)
{
    setObjectName(QStringLiteral("ChangeDetectionDialog"));
    setWindowTitle(tr("Change Detection - %1").arg(camera));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFont(DialogFonts::controls());

    sldSensitivity = new QSlider(Qt::Horizontal, this);
    sldSensitivity->setObjectName(QStringLiteral("sldSensitivity"));
    sldSensitivity->setRange(DetectionOptions::MinSensitivity, DetectionOptions::MaxSensitivity);
    sldSensitivity->setValue(current.sensitivity);
    sldSensitivity->setToolTip(tr("Higher finds fainter changes; %1 suits most cameras")
                                   .arg(DetectionOptions::DefaultSensitivity));
    lblSensitivity = new QLabel(QString::number(current.sensitivity), this);
    lblSensitivity->setObjectName(QStringLiteral("lblSensitivity"));
    lblSensitivity->setMinimumWidth(
        lblSensitivity->fontMetrics().horizontalAdvance(QStringLiteral("1000")));

    spnMinArea = new QDoubleSpinBox(this);
    spnMinArea->setObjectName(QStringLiteral("spnMinArea"));
    spnMinArea->setRange(0.1, 100.0);
    spnMinArea->setDecimals(1);
    spnMinArea->setSingleStep(0.5);
    spnMinArea->setSuffix(tr(" % of the picture"));
    spnMinArea->setValue(current.minAreaPercent);
    spnMinArea->setToolTip(tr("The smallest area of touching changed cells that counts"));

    picMask = new CellMaskCanvas(this);
    picMask->setMask(current.mask);

    cmdClearMask = new QPushButton(tr("Clear Mask"), this);
    cmdClearMask->setObjectName(QStringLiteral("cmdClearMask"));
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *sensitivityRow = new QHBoxLayout;
    sensitivityRow->addWidget(sldSensitivity, 1);
    sensitivityRow->addWidget(lblSensitivity);
    auto *form = new QFormLayout;
    form->addRow(tr("Sensitivity:"), sensitivityRow);
    form->addRow(tr("Minimum area:"), spnMinArea);
    auto *legend = new QLabel(tr("Drag over the picture to leave cells out (a tree, a road, the "
                                 "camera's clock); drag with the right button to take them in "
                                 "again. Red cells are what the detector finds changed."),
                              this);
    legend->setObjectName(QStringLiteral("lblMaskHelp"));
    legend->setWordWrap(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdClearMask);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(legend);
    layout->addWidget(picMask, 1);
    layout->addLayout(buttons);

    connect(sldSensitivity, &QSlider::valueChanged, this, [this](int value) {
        lblSensitivity->setText(QString::number(value));
        announce();
    });
    connect(spnMinArea, &QDoubleSpinBox::valueChanged, this, &ChangeDetectionDialog::announce);
    connect(picMask, &CellMaskCanvas::maskEdited, this, &ChangeDetectionDialog::announce);
    connect(cmdClearMask, &QPushButton::clicked, this, [this] {
        picMask->setMask(CellMask());
        announce();
    });
    connect(cmdOK, &QPushButton::clicked, this, &ChangeDetectionDialog::okClicked);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

DetectionOptions ChangeDetectionDialog::options() const
{
    DetectionOptions options = m_base;
    options.sensitivity = sldSensitivity->value();
    options.minAreaPercent = spnMinArea->value();
    options.mask = picMask->mask();
    return options;
}

void ChangeDetectionDialog::showPicture(const QImage &picture, const QBitArray &changedCells)
{
    picMask->setPicture(picture);
    picMask->setChangedCells(changedCells);
}

void ChangeDetectionDialog::announce()
{
    emit optionsChanged(options());
}

void ChangeDetectionDialog::okClicked()
{
    const DetectionOptions chosen = options();
    const bool stored = DetectionSettings::store(m_camera, chosen);
    emit optionsChosen(m_camera, chosen, stored);
    accept();
}
