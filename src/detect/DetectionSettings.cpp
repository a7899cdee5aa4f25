#include "DetectionSettings.h"

#include "Settings.h"

DetectionOptions DetectionSettings::load(const QString &camera)
{
    DetectionOptions options;
    options.sensitivity = Settings::detectionSensitivity(camera);
    options.minAreaPercent = Settings::detectionMinArea(camera);
    options.mask = CellMask::fromText(Settings::detectionMask(camera)).value_or(CellMask());
    return options;
}

bool DetectionSettings::store(const QString &camera, const DetectionOptions &options)
{
    const bool sensitivity = Settings::setDetectionSensitivity(camera, options.sensitivity);
    const bool area = Settings::setDetectionMinArea(camera, options.minAreaPercent);
    const bool mask = Settings::setDetectionMask(camera, options.mask.toText());
    return sensitivity && area && mask;
}
