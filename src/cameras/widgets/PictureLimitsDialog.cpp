#include "PictureLimitsDialog.h"

#include <exception>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DialogFonts.h"
#include "MessageBoxes.h"
#include "Settings.h"
#include "Skin.h"

namespace {

// An empty field is as good as 0: no limit.
QString shownSize(qint64 bytes)
{
    return bytes > 0 ? PictureRetention::sizeText(bytes) : QStringLiteral("0");
}

} // namespace

PictureLimitsDialog::PictureLimitsDialog(const PictureRetention::Limits &current, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("PictureLimitsDialog"));
    setWindowTitle(tr("Picture Limits"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFont(DialogFonts::controls());

    struct Row
    {
        const char *name;
        QString caption;
        QString unit;
        QString tip;
        QString text;
    };
    const Row rows[] = {
        {"keepDays", tr("Keep pictures for:"), tr("days (0: all)"),
         tr("Saved pictures older than this are deleted, the oldest first"),
         QString::number(current.keepDays)},
        {"keepSize", tr("Keep at most:"), tr("of pictures (20G; 0: no limit)"),
         tr("When the saved pictures take more, the oldest are deleted"),
         shownSize(current.keepBytes)},
        {"minFree", tr("Keep free on the disk:"), tr("(1G; 0: never pause)"),
         tr("Below this much free space autosave pauses; it goes on by itself"),
         shownSize(current.minFreeBytes)},
    };
    QLineEdit **fields[] = {&m_keepDays, &m_keepSize, &m_minFree};
    for (int i = 0; i < 3; ++i) {
        const Row &row = rows[i];
        const float top = 120 + 420 * float(i);
        auto *caption = new QLabel(row.caption, this);
        caption->setObjectName(QString::fromLatin1(row.name) + QStringLiteral("Label"));
        caption->setGeometry(px({120, top + 60, 2040, 255}));
        caption->setFont(DialogFonts::controls());
        auto *field = new QLineEdit(row.text, this);
        field->setObjectName(QString::fromLatin1(row.name) + QStringLiteral("Edit"));
        field->setGeometry(px({2160, top, 975, 315}));
        field->setFont(DialogFonts::controls());
        field->setToolTip(row.tip);
        caption->setBuddy(field);
        auto *unit = new QLabel(row.unit, this);
        unit->setObjectName(QString::fromLatin1(row.name) + QStringLiteral("Unit"));
        unit->setGeometry(px({3240, top + 60, 2640, 255}));
        unit->setFont(DialogFonts::controls());
        *fields[i] = field;
    }

    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setGeometry(px({3780, 1440, 975, 495}));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setGeometry(px({4860, 1440, 975, 495}));
    connect(m_ok, &QPushButton::clicked, this, &PictureLimitsDialog::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::close);

    setFixedSize(px({0, 0, 5955, 2055}).size());
    SkinDialog(this);
}

QRect PictureLimitsDialog::px(const TwipsRect &rect) const
{
    return Twips::toPixels(rect, this);
}

std::optional<PictureRetention::Limits> PictureLimitsDialog::limits(QString *bad) const
{
    PictureRetention::Limits chosen;
    const QString days = m_keepDays->text().trimmed();
    bool ok = days.isEmpty();
    if (!ok) {
        const int value = days.toInt(&ok);
        ok = ok && value >= 0;
        chosen.keepDays = ok ? value : 0;
    }
    if (!ok) {
        if (bad)
            *bad = tr("\"%1\" is no number of days").arg(m_keepDays->text());
        return std::nullopt;
    }
    const auto size = [&](const QLineEdit *field, qint64 &into) {
        const QString text = field->text().trimmed();
        const std::optional<qint64> bytes =
            text.isEmpty() ? std::optional<qint64>(0) : PictureRetention::parseSize(text);
        if (!bytes && bad)
            *bad = tr("\"%1\" is no size; write it like 500M or 20G").arg(field->text());
        into = bytes.value_or(0);
        return bytes.has_value();
    };
    if (!size(m_keepSize, chosen.keepBytes) || !size(m_minFree, chosen.minFreeBytes))
        return std::nullopt;
    return chosen;
}

void PictureLimitsDialog::okClicked()
{
    QString bad;
    const std::optional<PictureRetention::Limits> chosen = limits(&bad);
    if (!chosen) {
        MessageBoxes::ask(this, QStringLiteral(":: error"), bad, MessageBoxes::Ok,
                          MessageBoxes::Warning);
        return;
    }
    bool stored = false;
    try {
        stored = Settings::setKeepDays(chosen->keepDays) &&
                 Settings::setKeepSize(chosen->keepBytes) &&
                 Settings::setMinFree(chosen->minFreeBytes);
    } catch (const std::exception &) {
        stored = false;
    }
    emit limitsChosen(*chosen, stored);
    close();
}
