#pragma once

#include <QString>

#include "SceneChangeDetector.h"

// One camera's change detection as kept in the per-user settings, by the
// camera's name: what the recorder and the window give the camera's
// detector, and what the Change Detection dialog stores.
namespace DetectionSettings {

// The stored options; defaults for what was never stored or does not read.
// A stored mask of another grid is dropped (nothing masked) rather than
// guessed at.
DetectionOptions load(const QString &camera);

// Stores sensitivity, minimum area and mask; true when all three were stored.
bool store(const QString &camera, const DetectionOptions &options);

} // namespace DetectionSettings
