#pragma once

#include "CamEntryDialog.h"

// Form2, "add a cam": appends one camera to the camera list file. No camera
// is opened by it.
class AddCamDialog : public CamEntryDialog
{
    Q_OBJECT
public:
    explicit AddCamDialog(QWidget *parent = nullptr);

protected:
    bool acceptEntry() override;
};
