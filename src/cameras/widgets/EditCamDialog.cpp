#include "EditCamDialog.h"

#include <QLabel>
#include <QLineEdit>

#include "CamListFile.h"

namespace {
CamEntryDialog::Placement placement()
{
    CamEntryDialog::Placement p;
    p.clientWidth = 4740;
    p.clientHeight = 2085;
    p.Label1 = {60, 420, 1035, 255};
    p.Label2 = {60, 780, 1035, 255};
    p.Label3 = {60, 1140, 1635, 255};
    p.Label4 = {1620, 1140, 675, 255};
    p.Text1 = {840, 360, 3855, 315};
    p.Text2 = {840, 720, 3855, 315};
    p.Text3 = {840, 1080, 735, 315};
    p.Command1 = {2700, 1500, 975, 495};
    p.Command2 = {3720, 1500, 975, 495};
    return p;
}
} // namespace

EditCamDialog::EditCamDialog(const QString &selectedName, QWidget *parent)
    : CamEntryDialog(placement(), QStringLiteral("Create a unique name for the cam"), parent)
    , m_openedFor(selectedName)
{
    setObjectName(QStringLiteral("Form3"));

    Label5 =
        new QLabel(QStringLiteral("(Cams that are already open will need to be restarted)"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    // Where that face is missing, a narrow one keeps the note on its one line.
    QFont note;
    note.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow")});
    note.setPointSizeF(8.25);
    note.setBold(true);
    Label5->setFont(note);
    Label5->setGeometry(px({60, 60, 4635, 255}));

    const CamListResult<std::optional<CamEntry>> found = CamListFile::FindCamEntry(selectedName);
    if (!found.ok())
        showFileError(found.errorText());
    if (found.ok() && found.value()) {
        m_old = *found.value();
        m_found = true;
        Text1->setText(m_old.name);
        Text2->setText(m_old.address);
        Text3->setText(m_old.refresh);
    }
    setWindowTitle(m_found ? m_old.name : selectedName);
    applySkin();
}

bool EditCamDialog::acceptEntry()
{
    // The old entry out and the new one in, written as one step: a failing
    // write leaves the file, and the camera, as they were.
    const CamListResult<bool> replaced =
        CamListFile::ReplaceCamEntry(m_found ? std::optional<CamEntry>(m_old) : std::nullopt,
                                     CamEntry{name(), url(), refresh()});
    if (!replaced.ok()) {
        showFileError(replaced.errorText());
        return false;
    }
    emit camListChanged();
    // Panels are matched by the name the dialog loaded, not by its caption,
    // which a second "Edit" may have changed to another camera's name.
    emit camEdited(m_found ? m_old.name : m_openedFor, name(), url(), refresh());
    return true;
}
