#include "AddCamDialog.h"

#include "AppInfo.h"
#include "CamListFile.h"
#include "Skin.h"

AddCamDialog::AddCamDialog(QWidget *parent)
    : CamEntryDialog(Kind::Add, QStringLiteral("create a unique name"), parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(AppInfo::productName() + QStringLiteral(" :: add a cam"));
    SkinDialog(this);
}

bool AddCamDialog::acceptEntry()
{
    // A name that is listed already is not refused: the file gets a second entry.
    const CamListResult<bool> appended = CamListFile::AppendCamEntry(name(), url(), refresh());
    if (!appended.ok()) {
        showFileError(appended.errorText());
        return false;
    }
    emit camListChanged();
    return true;
}
