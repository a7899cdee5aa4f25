#pragma once

#include <QDialog>

#include "Twips.h"

class QLabel;
class QLineEdit;
class QPushButton;

// What the add and the edit dialog share: the three fields name, URL and
// refresh with their captions, OK and Cancel, and the check that every field
// is filled in. The texts are taken exactly as typed.
class CamEntryDialog : public QDialog
{
    Q_OBJECT
public:
    QString name() const;
    QString url() const;
    QString refresh() const;

    // Which of the two dialogs: the edit dialog has a note line on top, which
    // moves its controls down, and wider captions.
    enum class Kind { Add, Edit };

    // Positions in twips inside the dialog's client area.
    struct Placement
    {
        float clientWidth = 0;
        float clientHeight = 0;
        TwipsRect Label1, Label2, Label3, Label4;
        TwipsRect Text1, Text2, Text3;
        TwipsRect Command1, Command2;
    };
    static Placement placement(Kind kind);

signals:
    // The camera list file changed: the main window refills its list.
    void camListChanged();

protected:
    CamEntryDialog(Kind kind, const QString &nameTip, QWidget *parent);

    // OK: what the dialog does with three filled fields. Returns true when the
    // dialog may close.
    virtual bool acceptEntry() = 0;

    // Shows a file error so that the user knows nothing was written; the
    // dialog stays open with what was typed.
    void showFileError(const QString &error);

    QRect px(const TwipsRect &rect) const;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

private:
    void Command1_Click();
    void Command2_Click();
};
