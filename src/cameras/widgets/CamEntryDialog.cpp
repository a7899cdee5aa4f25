#include "CamEntryDialog.h"

#include <exception>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DialogFonts.h"
#include "MessageBoxes.h"

CamEntryDialog::Placement CamEntryDialog::placement(Kind kind)
{
    // Both dialogs side by side: control, where the add dialog has it, where
    // the edit dialog has it.
    struct Row
    {
        TwipsRect Placement::*control;
        TwipsRect add;
        TwipsRect edit;
    };
    static const Row rows[] = {
        {&Placement::Label1, {60, 60, 795, 255}, {60, 420, 1035, 255}},
        {&Placement::Label2, {60, 420, 915, 255}, {60, 780, 1035, 255}},
        {&Placement::Label3, {60, 780, 915, 255}, {60, 1140, 1635, 255}},
        {&Placement::Label4, {1620, 780, 735, 255}, {1620, 1140, 675, 255}},
        {&Placement::Text1, {840, 0, 3855, 315}, {840, 360, 3855, 315}},
        {&Placement::Text2, {840, 360, 3855, 315}, {840, 720, 3855, 315}},
        {&Placement::Text3, {840, 720, 735, 315}, {840, 1080, 735, 315}},
        {&Placement::Command1, {2700, 1140, 975, 495}, {2700, 1500, 975, 495}},
        {&Placement::Command2, {3720, 1140, 975, 495}, {3720, 1500, 975, 495}},
    };
    const bool add = kind == Kind::Add;
    Placement p;
    p.clientWidth = 4740;
    p.clientHeight = add ? 1680 : 2085;
    for (const Row &row : rows)
        p.*row.control = add ? row.add : row.edit;
    return p;
}

CamEntryDialog::CamEntryDialog(Kind kind, const QString &nameTip, QWidget *parent)
    : QDialog(parent)
{
    const Placement placement = CamEntryDialog::placement(kind);
    // Closing unloads the dialog; the next request loads a new one.
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFont(DialogFonts::system());

    const auto label = [this](const char *name, const QString &caption, const TwipsRect &at,
                              bool ownFont) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        // Set on the label itself as well: a skinned main window's style sheet
        // reaches into its dialogs and would hand an unset label the
        // application's font instead of the dialog's.
        l->setFont(ownFont ? DialogFonts::system() : DialogFonts::controls());
        l->setGeometry(px(at));
        return l;
    };
    Label1 = label("Label1", QStringLiteral("Name:"), placement.Label1, false);
    Label2 = label("Label2", QStringLiteral("URL:"), placement.Label2, false);
    Label3 = label("Label3", QStringLiteral("Refresh:"), placement.Label3, false);
    // "seconds" keeps the dialog's own font.
    Label4 = label("Label4", QStringLiteral("seconds"), placement.Label4, true);

    const auto text = [this](const char *name, const QString &tip, const TwipsRect &at) {
        auto *t = new QLineEdit(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setFont(DialogFonts::controls());
        t->setToolTip(tip);
        t->setGeometry(px(at));
        return t;
    };
    Text1 = text("Text1", nameTip, placement.Text1);
    Text2 = text("Text2",
                 QStringLiteral("enter the exact path to the image (found by right clicking an "
                                "image in your browser and selecting \"properties\""),
                 placement.Text2);
    Text3 = text("Text3", QStringLiteral("Enter the time in seconds"), placement.Text3);

    const auto button = [this](const char *name, const QString &caption, const TwipsRect &at) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(DialogFonts::controls());
        b->setGeometry(px(at));
        return b;
    };
    Command1 = button("Command1", QStringLiteral("OK"), placement.Command1);
    Command2 = button("Command2", QStringLiteral("Cancel"), placement.Command2);
    Command1->setDefault(true);

    for (QWidget *label : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label2),
                           static_cast<QWidget *>(Label3), static_cast<QWidget *>(Label4)})
        label->setFocusPolicy(Qt::NoFocus);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Command1);
    setTabOrder(Command1, Command2);

    connect(Command1, &QPushButton::clicked, this, &CamEntryDialog::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &CamEntryDialog::Command2_Click);

    setFixedSize(px({0, 0, placement.clientWidth, placement.clientHeight}).size());
}

QString CamEntryDialog::name() const
{
    return Text1->text();
}

QString CamEntryDialog::url() const
{
    return Text2->text();
}

QString CamEntryDialog::refresh() const
{
    return Text3->text();
}

QRect CamEntryDialog::px(const TwipsRect &rect) const
{
    return Twips::toPixels(rect, this);
}

void CamEntryDialog::showFileError(const QString &error)
{
    MessageBoxes::ask(this, QStringLiteral(":: error"), error, MessageBoxes::Ok,
                      MessageBoxes::Warning);
}

void CamEntryDialog::Command1_Click()
{
    // Blanks count as filled; only an empty field is refused.
    if (name().isEmpty() || url().isEmpty() || refresh().isEmpty()) {
        MessageBoxes::ask(this, QStringLiteral(":: error"),
                          QStringLiteral("you must enter all information"), MessageBoxes::Ok,
                          MessageBoxes::NoIcon);
        return;
    }
    bool done = false;
    try {
        done = acceptEntry();
    } catch (const std::exception &e) {
        showFileError(QString::fromLocal8Bit(e.what()));
    }
    if (done)
        close();
}

void CamEntryDialog::Command2_Click()
{
    close();
}
