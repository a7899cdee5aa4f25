#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

// The about window (frmAbout): product name, version, owner and a line about
// the program, all from the build's version information, beside a picture of
// our own. Made when asked for and deleted when closed, so each opening reads
// the values afresh; hold it in a QPointer.
class AboutWindow : public QWidget
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget *parent = nullptr);

    // The picture shown in Picture1, drawn at the given size.
    static QPixmap drawPicture(const QSize &size);

    // The controls, each also its objectName.
    QLabel *const Picture1 = new QLabel(this);
    QLabel *const Label1 = new QLabel(this);
    QLabel *const lblVersionCaption = new QLabel(this);
    QLabel *const lblVersion = new QLabel(this);
    QLabel *const lblCompanyCaption = new QLabel(this);
    QLabel *const lblCompany = new QLabel(this);
    QLabel *const lblWebsiteCaption = new QLabel(this);
    QLabel *const lblWebsite = new QLabel(this);

private:
    void Form_Load();
};
