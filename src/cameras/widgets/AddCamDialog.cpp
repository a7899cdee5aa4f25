#include "AddCamDialog.h"

#include "AppInfo.h"
#include "CamListFile.h"

namespace {
CamEntryDialog::Placement placement()
{
    CamEntryDialog::Placement p;
    p.clientWidth = 4740;
    p.clientHeight = 1680;
    p.Label1 = {60, 60, 795, 255};
    p.Label2 = {60, 420, 915, 255};
    p.Label3 = {60, 780, 915, 255};
    p.Label4 = {1620, 780, 735, 255};
    p.Text1 = {840, 0, 3855, 315};
    p.Text2 = {840, 360, 3855, 315};
    p.Text3 = {840, 720, 735, 315};
    p.Command1 = {2700, 1140, 975, 495};
    p.Command2 = {3720, 1140, 975, 495};
    return p;
}
} // namespace

AddCamDialog::AddCamDialog(QWidget *parent)
    : CamEntryDialog(placement(), QStringLiteral("create a unique name"), parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(AppInfo::productName() + QStringLiteral(" :: add a cam"));
    applySkin();
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
