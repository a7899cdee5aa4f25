#pragma once

#include <QDialog>

#include "Result.h"
#include "Settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Web View...": whether the web view serves, on which address and port, its
// password and the certificate's fingerprint to check on the phone. OK stores
// the same settings --web and --web-password store; a password is kept only
// as its hash, and the fields never show the one that is set. Something that
// cannot be used (a port taken by nothing but a typo in the address, a
// password too short or typed differently twice, switching on without any
// password) is refused and the dialog stays open with it.
class WebViewDialog : public QDialog
{
    Q_OBJECT
public:
    // fingerprint: the running web view's certificate, empty when it is not running.
    explicit WebViewDialog(const QString &fingerprint, QWidget *parent = nullptr);

    // What the fields ask for, or what is wrong with them.
    Result<Settings::WebView> chosenView() const;

signals:
    // After OK: stored (or not, then stored says so); a running web view
    // should be started afresh from the settings.
    void webViewChosen(bool stored);

private:
    void okClicked();
    void updateEnabled();

    QCheckBox *m_on = nullptr;
    QLineEdit *m_address = nullptr;
    QSpinBox *m_port = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_again = nullptr;
    QLabel *m_passwordState = nullptr;
    QLabel *m_fingerprint = nullptr;
    QLabel *m_error = nullptr;
    QPushButton *m_ok = nullptr;
    bool m_hasPassword = false;
};
