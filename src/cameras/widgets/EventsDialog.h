#pragma once

#include <QDialog>

#include "Result.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Events...": whether and where the MQTT events go. OK stores the same
// settings --mqtt, --mqtt-id and --mqtt-thumbnails store; an address or an id
// that cannot be used is refused and the dialog stays open with it. The
// broker's password has a field of its own that never shows it, and the
// address field never holds it.
class EventsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit EventsDialog(QWidget *parent = nullptr);

    // The address to store from what the fields say: the address field (a
    // password typed into it counts) with the password field's password, or
    // empty when events are off; a failure saying what is wrong otherwise.
    Result<QString> chosenAddress() const;

signals:
    // After OK: stored (or not, then stored says so); a running publisher
    // should be started afresh from the settings.
    void eventsChosen(bool stored);

private:
    void load();
    void okClicked();
    void updateEnabled();

    QCheckBox *m_on = nullptr;
    QLineEdit *m_broker = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_id = nullptr;
    QCheckBox *m_thumbnails = nullptr;
    QLabel *m_error = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
