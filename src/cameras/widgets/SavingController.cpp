#include "SavingController.h"

#include <QDir>

#include "AppInfo.h"
#include "PaneSupport.h"
#include "PictureLimitsDialog.h"
#include "PictureSaver.h"
#include "RetentionKeeper.h"
#include "Settings.h"
#include "WindowUtils.h"

SavingController::SavingController(QWidget *window)
    : QObject(window)
    , m_saver(new PictureSaver(this))
    , m_keeper(new RetentionKeeper(m_saver, PictureSaver::camDirectory(), this))
    , m_window(window)
{
    connect(m_saver, &PictureSaver::saveFailed, this,
            [this](const SaveReport &report) { emit statusText(report.statusText); });
    connect(m_keeper, &RetentionKeeper::pauseChanged, this,
            [this](bool paused, const QString &text) {
                emit statusText(paused ? tr("Autosave paused: %1; it goes on by itself when "
                                            "there is room")
                                             .arg(text)
                                       : tr("Autosave goes on: %1").arg(text));
            });
    connect(m_keeper, &RetentionKeeper::enforced, this,
            [this](const PictureRetention::Report &report) {
                if (!report.failures.isEmpty())
                    emit statusText(
                        tr("An old picture could not be deleted: %1").arg(report.failures.first()));
            });
}

SavingController::~SavingController()
{
    // The keeper watches the saver: it goes first.
    delete m_keeper;
    delete m_saver;
}

void SavingController::start()
{
    const auto say = [this](const QString &text) { emit statusText(text); };
    const QString camDirectory = AppInfo::programFile(QStringLiteral("cam"));
    if (!WindowUtils::DirExists(camDirectory) && !QDir().mkpath(camDirectory))
        emit statusText(tr("The folder %1 for saved pictures could not be made; pictures "
                           "cannot be saved.")
                            .arg(QDir::toNativeSeparators(camDirectory)));
    m_keeper->setDirectory(camDirectory);
    guarded(say, [&] { m_keeper->setLimits(RetentionKeeper::storedLimits()); });
    guarded(say, [&] { m_keeper->start(); });
}

void SavingController::autoSaveClicked(bool ticked)
{
    m_saver->setAutoSave(ticked);
    guarded([this](const QString &text) { emit statusText(text); },
            [&] { sayIfNotStored(Settings::setAutoSave(ticked), QStringLiteral("AutoSave")); });
}

void SavingController::autoSaveModeChosen(Settings::AutoSaveMode mode)
{
    m_saver->setAutoSaveMode(mode);
    guarded([this](const QString &text) { emit statusText(text); },
            [&] { sayIfNotStored(Settings::setAutoSaveMode(mode), QStringLiteral("AutoSave")); });
}

void SavingController::keepOriginalClicked(bool ticked)
{
    m_saver->setKeepOriginal(ticked);
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                sayIfNotStored(Settings::setKeepOriginal(ticked),
                               QStringLiteral("\"Keep the camera's own pictures\""));
            });
}

void SavingController::sayIfNotStored(bool stored, const QString &option)
{
    if (!stored)
        emit statusText(tr("The %1 setting could not be stored; the next start will not "
                           "remember it.")
                            .arg(option));
}

bool SavingController::saveImage(const std::optional<QString> &camera, const Picture &shown,
                                 const Picture &notFound)
{
    if (!camera) {
        emit statusText(QStringLiteral("Save Image: no camera is selected"));
        return false;
    }
    if (shown.isNull() || shown.isSameAs(notFound)) {
        emit statusText(QStringLiteral("Save Image: the selected camera shows no picture"));
        return false;
    }
    struct Saved
    {
        SaveImageResult result;
        QImage pixels;
    };
    offThread<Saved>(
        this,
        [name = *camera, shown, when = m_saver->now()] {
            Saved saved{PictureSaver::savePicture(name, shown, when), QImage()};
            if (saved.result.saved)
                saved.pixels = *saved.result.picture.full();
            return saved;
        },
        [this](const Saved &saved) {
            emit statusText(saved.result.statusText);
            if (saved.result.saved)
                emit imageSaved(saved.pixels);
        });
    return true;
}

void SavingController::showLimits()
{
    if (m_limitsDialog) {
        m_limitsDialog->activateWindow();
        return;
    }
    m_limitsDialog = new PictureLimitsDialog(m_keeper->limits(), m_window);
    connect(m_limitsDialog, &PictureLimitsDialog::limitsChosen, this,
            [this](const PictureRetention::Limits &limits, bool stored) {
                guarded([this](const QString &text) { emit statusText(text); },
                        [&] {
                            m_keeper->setLimits(limits);
                            m_keeper->enforceNow();
                            m_keeper->checkFreeSpace();
                            if (!stored)
                                emit statusText(tr("The picture limits could not be stored; the "
                                                   "next start will not remember them."));
                        });
            });
    m_limitsDialog->show();
}
