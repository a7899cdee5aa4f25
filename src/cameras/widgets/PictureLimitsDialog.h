#pragma once

#include <QDialog>

#include "PictureRetention.h"
#include "Twips.h"

class QLabel;
class QLineEdit;
class QPushButton;

// "Picture Limits...": how long and how much of the saved pictures to keep and
// how much room autosave leaves on the disk. OK stores the three limits (the
// same settings --keep-days, --keep-size and --min-free store) and hands them
// to the window; a text that is no number or size is refused and the dialog
// stays open with it.
class PictureLimitsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PictureLimitsDialog(const PictureRetention::Limits &current,
                                 QWidget *parent = nullptr);

    // The limits the fields say; empty when one of them says nothing sensible
    // (its text then goes into *bad).
    std::optional<PictureRetention::Limits> limits(QString *bad = nullptr) const;

signals:
    // Stored (or not, then stored says so) and to be used from now on.
    void limitsChosen(const PictureRetention::Limits &limits, bool stored);

private:
    void okClicked();
    QRect px(const TwipsRect &rect) const;

    QLineEdit *m_keepDays = nullptr;
    QLineEdit *m_keepSize = nullptr;
    QLineEdit *m_minFree = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
