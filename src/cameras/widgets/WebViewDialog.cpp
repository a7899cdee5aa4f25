#include "WebViewDialog.h"

#include <exception>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "DialogFonts.h"
#include "Skin.h"
#include "WebPassword.h"

WebViewDialog::WebViewDialog(const QString &fingerprint, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("WebViewDialog"));
    setWindowTitle(tr("Web View"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(DialogFonts::controls());

    m_on = new QCheckBox(tr("Serve the cameras to a browser, over HTTPS, behind a password"), this);
    m_on->setObjectName(QStringLiteral("webOn"));
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("addressEdit"));
    m_address->setToolTip(tr("127.0.0.1 for this machine only; this machine's address on the "
                             "home network (or 0.0.0.0 for every one) to reach it from a phone"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("portSpin"));
    m_port->setRange(1, 65535);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    m_again = new QLineEdit(this);
    m_again->setObjectName(QStringLiteral("againEdit"));
    m_again->setEchoMode(QLineEdit::Password);
    m_passwordState = new QLabel(this);
    m_passwordState->setObjectName(QStringLiteral("passwordState"));
    m_fingerprint = new QLabel(
        fingerprint.isEmpty() ? tr("shown here while the web view runs") : fingerprint, this);
    m_fingerprint->setObjectName(QStringLiteral("fingerprintLabel"));
    m_fingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_fingerprint->setWordWrap(true);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("errorLabel"));
    m_error->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("Address:"), m_address);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("New password:"), m_password);
    form->addRow(tr("Again:"), m_again);
    form->addRow(QString(), m_passwordState);
    form->addRow(tr("Certificate (SHA-256):"), m_fingerprint);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_on);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addWidget(buttons);

    Settings::WebView stored;
    try {
        stored = Settings::webView();
        m_hasPassword = !Settings::webPasswordHash().isEmpty();
    } catch (const std::exception &e) {
        m_error->setText(tr("The stored web view settings cannot be read (%1).")
                             .arg(QString::fromLocal8Bit(e.what())));
    }
    m_on->setChecked(stored.on);
    m_address->setText(stored.address);
    m_port->setValue(stored.port);
    m_passwordState->setText(m_hasPassword
                                 ? tr("A password is set; leave both fields empty to keep it.")
                                 : tr("No password is set yet: the web view needs one."));

    connect(m_ok, &QPushButton::clicked, this, &WebViewDialog::okClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_on, &QCheckBox::toggled, this, &WebViewDialog::updateEnabled);
    updateEnabled();
    SkinDialog(this);
}

void WebViewDialog::updateEnabled()
{
    for (QWidget *field : {static_cast<QWidget *>(m_address), static_cast<QWidget *>(m_port),
                           static_cast<QWidget *>(m_password), static_cast<QWidget *>(m_again)})
        field->setEnabled(m_on->isChecked());
}

Result<Settings::WebView> WebViewDialog::chosenView() const
{
    if (!m_on->isChecked())
        return Settings::WebView{};
    const QString address = m_address->text().trimmed();
    // An IPv6 address goes in brackets, as --web takes it.
    const QString text =
        (address.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
            .arg(address.isEmpty() ? QStringLiteral("127.0.0.1") : address)
            .arg(m_port->value());
    const std::optional<Settings::WebView> view = Settings::parseWebView(text);
    if (!view)
        return Failure::of(Failure::Kind::Refused,
                           tr("\"%1\" is no address to listen on.").arg(address));
    if (m_password->text() != m_again->text())
        return Failure::of(Failure::Kind::Refused, tr("The two passwords differ."));
    if (m_password->text().isEmpty() && !m_hasPassword)
        return Failure::of(Failure::Kind::Refused,
                           tr("Set a password: nobody gets in without one."));
    if (!m_password->text().isEmpty() && m_password->text().size() < WebPassword::MinLength)
        return Failure::of(
            Failure::Kind::Refused,
            tr("A password needs at least %1 characters.").arg(WebPassword::MinLength));
    return *view;
}

void WebViewDialog::okClicked()
{
    const Result<Settings::WebView> view = chosenView();
    if (!view) {
        m_error->setText(view.errorText());
        return;
    }
    bool stored = true;
    try {
        if (!m_password->text().isEmpty()) {
            const Result<QString> hash = WebPassword::hash(m_password->text().toUtf8());
            if (!hash) {
                m_error->setText(hash.errorText());
                return;
            }
            stored = Settings::setWebPasswordHash(hash.value());
        }
        stored = Settings::setWebView(view.value()) && stored;
    } catch (const std::exception &) {
        stored = false;
    }
    // The typed password goes as soon as it has done its work.
    m_password->clear();
    m_again->clear();
    emit webViewChosen(stored);
    close();
}
