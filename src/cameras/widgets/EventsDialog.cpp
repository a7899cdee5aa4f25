#include "EventsDialog.h"

#include <exception>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

#include "BrokerAddress.h"
#include "DialogFonts.h"
#include "EventTopics.h"
#include "Settings.h"
#include "Skin.h"

EventsDialog::EventsDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("EventsDialog"));
    setWindowTitle(tr("Events"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(DialogFonts::controls());

    m_on = new QCheckBox(tr("Tell an MQTT broker about changes, stale cameras and saved pictures "
                            "(with Home Assistant discovery)"),
                         this);
    m_on->setObjectName(QStringLiteral("eventsOn"));
    m_broker = new QLineEdit(this);
    m_broker->setObjectName(QStringLiteral("brokerEdit"));
    m_broker->setPlaceholderText(QStringLiteral("mqtt://user@broker:1883"));
    m_broker->setToolTip(tr("mqtt://[user@]host[:port], or mqtts:// for TLS: checked against the "
                            "system's CAs, or a certificate trusted with --trust-certificate"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    m_id = new QLineEdit(this);
    m_id->setObjectName(QStringLiteral("idEdit"));
    m_id->setPlaceholderText(EventTopics::defaultId(QSysInfo::machineHostName()));
    m_id->setToolTip(tr("This recorder's name in the topics tessaly/<id>/…: letters, digits, _ "
                        "and -; empty for the host name"));
    m_thumbnails =
        new QCheckBox(tr("Also send a small picture (at most 64 KB) per saved picture"), this);
    m_thumbnails->setObjectName(QStringLiteral("thumbnailsCheck"));
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("errorLabel"));
    m_error->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("Broker:"), m_broker);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("Id:"), m_id);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_on);
    layout->addLayout(form);
    layout->addWidget(m_thumbnails);
    layout->addWidget(m_error);
    layout->addWidget(buttons);

    connect(m_ok, &QPushButton::clicked, this, &EventsDialog::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(m_on, &QCheckBox::toggled, this, &EventsDialog::updateEnabled);
    load();
    updateEnabled();
    SkinDialog(this);
}

void EventsDialog::load()
{
    QString stored;
    try {
        stored = Settings::mqttBroker();
        m_id->setText(Settings::mqttId());
        m_thumbnails->setChecked(Settings::mqttThumbnails());
    } catch (const std::exception &) {
        m_error->setText(tr("The stored settings cannot be read."));
    }
    const Result<BrokerAddress> broker = BrokerAddress::parse(stored);
    m_on->setChecked(broker.ok());
    if (!broker)
        return;
    // The address without its password, which goes to its own field.
    m_broker->setText(BrokerAddress::withPassword(broker.value(), QString()).text());
    m_password->setText(broker.value().password());
}

void EventsDialog::updateEnabled()
{
    for (QWidget *field : {static_cast<QWidget *>(m_broker), static_cast<QWidget *>(m_password),
                           static_cast<QWidget *>(m_id), static_cast<QWidget *>(m_thumbnails)})
        field->setEnabled(m_on->isChecked());
}

Result<QString> EventsDialog::chosenAddress() const
{
    if (!m_on->isChecked())
        return QString();
    const Result<BrokerAddress> typed = BrokerAddress::parse(m_broker->text());
    if (!typed)
        return typed.failure();
    const QString password =
        m_password->text().isEmpty() ? typed.value().password() : m_password->text();
    if (!password.isEmpty() && typed.value().user().isEmpty())
        return Failure::of(Failure::Kind::BadAddress,
                           tr("A password needs a user name in the address (mqtt://user@host)."));
    return BrokerAddress::withPassword(typed.value(), password).text();
}

void EventsDialog::okClicked()
{
    const Result<QString> address = chosenAddress();
    if (!address) {
        m_error->setText(address.errorText());
        return;
    }
    const QString id = m_id->text().trimmed();
    if (!id.isEmpty() && !EventTopics::isValidId(id)) {
        m_error->setText(tr("An id is 1 to 64 letters, digits, _ or -."));
        return;
    }
    bool stored = false;
    try {
        stored = Settings::setMqttBroker(address.value()) && Settings::setMqttId(id) &&
                 Settings::setMqttThumbnails(m_thumbnails->isChecked());
    } catch (const std::exception &) {
        stored = false;
    }
    emit eventsChosen(stored);
    close();
}
