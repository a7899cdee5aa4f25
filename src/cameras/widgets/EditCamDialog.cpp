#include "EditCamDialog.h"

#include <QLabel>
#include <QLineEdit>

#include "CamListFile.h"
#include "DialogFonts.h"
#include "Skin.h"

EditCamDialog::EditCamDialog(const QString &selectedName, QWidget *parent)
    : CamEntryDialog(Kind::Edit, QStringLiteral("Create a unique name for the cam"), parent)
    , m_openedFor(selectedName)
{
    setObjectName(QStringLiteral("Form3"));

    Label5 =
        new QLabel(QStringLiteral("(Cams that are already open will need to be restarted)"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    // Where that face is missing, a narrow one keeps the note on its one line.
    QFont note = DialogFonts::system();
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
    SkinDialog(this);
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
