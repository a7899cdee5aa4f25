#pragma once

#include <QLabel>
#include <QWidget>

// The notice window (Form4) the main window shows when a command needs a camera
// selected in the list and none is. Deleted when closed; hold it in a QPointer.
class NoticeWindow : public QWidget
{
    Q_OBJECT
public:
    explicit NoticeWindow(QWidget *parent = nullptr);

    QLabel *const Label1 = new QLabel(this);

private:
    void Form_Load();
};
