#pragma once

#include "CamEntry.h"
#include "CamEntryDialog.h"

class QLabel;

// Form3: changes one camera of the camera list file. It loads the entry of
// the name it was opened for and works on that entry until it closes, even
// when the main window's selection or this dialog's caption change meanwhile.
class EditCamDialog : public CamEntryDialog
{
    Q_OBJECT
public:
    // Looks selectedName up in the camera list file and fills the fields.
    explicit EditCamDialog(const QString &selectedName, QWidget *parent = nullptr);

    // The entry the dialog was opened for; empty fields when none was found.
    const CamEntry &oldEntry() const { return m_old; }
    bool hasOldEntry() const { return m_found; }

signals:
    // After the file is rewritten: every panel showing oldName takes the new texts.
    void camEdited(const QString &oldName, const QString &name, const QString &url,
                   const QString &refresh);

protected:
    bool acceptEntry() override;

private:
    QLabel *Label5 = nullptr;
    CamEntry m_old;
    bool m_found = false;
    QString m_openedFor;
};
