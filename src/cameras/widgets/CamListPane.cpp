#include "CamListPane.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "AddCamDialog.h"
#include "AppInfo.h"
#include "CamListFile.h"
#include "EditCamDialog.h"
#include "MessageBoxes.h"
#include "NoticeWindow.h"
#include "PaneSupport.h"
#include "Twips.h"
#include "WindowUpdateLock.h"

CamListPane::CamListPane(QWidget *parent)
    : QGroupBox(QStringLiteral("Controls"), parent)
{
    setObjectName(QStringLiteral("Frame1"));
    cmdAdd = makeButton(QStringLiteral("cmdAdd"), QStringLiteral("Add"),
                        QStringLiteral("Add a Cam"), this);
    cmdRemove = makeButton(QStringLiteral("cmdRemove"), QStringLiteral("Del"),
                           QStringLiteral("Remove Selected Cam"), this);
    cmdEdit = makeButton(QStringLiteral("cmdEdit"), QStringLiteral("Edit"),
                         QStringLiteral("Edit Selected Cam"), this);
    cmdStartCam = makeButton(QStringLiteral("cmdStartCam"), QStringLiteral("Start Cam"),
                             QStringLiteral("Start Selected Cam"), this);
    cmdStopAll = makeButton(QStringLiteral("cmdStopAll"), QStringLiteral("Stop All"),
                            QStringLiteral("Stop All Cams"), this);
    chkSave = new QCheckBox(QStringLiteral("AutoSave New Pictures"), this);
    chkSave->setObjectName(QStringLiteral("chkSave"));
    chkSave->setToolTip(
        tr("saved to %1")
            .arg(QDir::toNativeSeparators(AppInfo::programFile(QStringLiteral("cam")))));
    chkChanges = new QCheckBox(tr("only changes"), this);
    chkChanges->setObjectName(QStringLiteral("chkChanges"));
    chkChanges->setToolTip(tr("Save only the pictures in which change detection finds "
                              "something happening, with the one before and two after"));
    Label1 = new QLabel(QStringLiteral("Webcam Listing"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(cmdAdd, &QPushButton::clicked, this, &CamListPane::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &CamListPane::cmdRemove_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &CamListPane::cmdEdit_Click);
    connect(cmdStartCam, &QPushButton::clicked, this, &CamListPane::cmdStartCam_Click);
    connect(cmdStopAll, &QPushButton::clicked, this, &CamListPane::stopAllRequested);
    // A double-click anywhere on the list, below its last item too, opens the
    // selected camera; the item signal alone would miss the empty area.
    List1->viewport()->installEventFilter(this);
    connect(chkSave, &QCheckBox::clicked, this, &CamListPane::autoSaveClicked);
    connect(chkSave, &QCheckBox::clicked, this,
            [this] { emit autoSaveModeChosen(autoSaveMode()); });
    connect(chkChanges, &QCheckBox::clicked, this,
            [this] { emit autoSaveModeChosen(autoSaveMode()); });
}

void CamListPane::applyGeometry(const MainWindowGeometry &g)
{
    const auto px = [this](const TwipsRect &rect) { return Twips::toPixels(rect, this); };
    cmdAdd->setGeometry(px(g.cmdAdd));
    cmdRemove->setGeometry(px(g.cmdRemove));
    cmdEdit->setGeometry(px(g.cmdEdit));
    cmdStartCam->setGeometry(px(g.cmdStartCam));
    cmdStopAll->setGeometry(px(g.cmdStopAll));
    // "only changes" belongs to AutoSave: it takes AutoSave's place, indented,
    // and AutoSave moves up a line into the room below the buttons.
    const QRect save = px(g.chkSave);
    chkSave->setGeometry(save.translated(0, -save.height()));
    const int indent = save.height();
    chkChanges->setGeometry(save.adjusted(indent, 0, 0, 0));
    Label1->setGeometry(px(g.Label1));
    List1->setGeometry(px(g.List1));
}

bool CamListPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == List1->viewport() && event->type() == QEvent::MouseButtonDblClick)
        emit openRequested(currentName());
    return QGroupBox::eventFilter(watched, event);
}

void CamListPane::reload()
{
    List1->clear();
    const CamListResult<QStringList> list = CamListFile::LoadCamList();
    if (!list.ok()) {
        emit statusText(list.errorText());
        return;
    }
    LockWindowUpdates(window(), true);
    List1->addItems(list.value());
    LockWindowUpdates(window(), false);
    emit reloaded();
}

QStringList CamListPane::names() const
{
    QStringList listed;
    for (int i = 0; i < List1->count(); ++i)
        listed << List1->item(i)->text();
    return listed;
}

QString CamListPane::currentName() const
{
    const QListWidgetItem *item = List1->currentItem();
    return item ? item->text() : QString();
}

bool CamListPane::isCamSelected() const
{
    for (int i = 0; i < List1->count(); ++i) {
        if (List1->item(i)->isSelected())
            return true;
    }
    return false;
}

bool CamListPane::autoSaveTicked() const
{
    return chkSave->isChecked();
}

void CamListPane::setAutoSaveTicked(bool ticked)
{
    chkSave->setChecked(ticked);
}

bool CamListPane::onlyChangesTicked() const
{
    return chkChanges->isChecked();
}

void CamListPane::setOnlyChangesTicked(bool ticked)
{
    chkChanges->setChecked(ticked);
}

Settings::AutoSaveMode CamListPane::autoSaveMode() const
{
    if (!chkSave->isChecked())
        return Settings::AutoSaveMode::Off;
    return chkChanges->isChecked() ? Settings::AutoSaveMode::Change : Settings::AutoSaveMode::Every;
}

void CamListPane::runCommand(int index)
{
    QPushButton *const buttons[] = {cmdAdd, cmdRemove, cmdEdit, cmdStartCam, cmdStopAll};
    if (index >= 0 && index < 5)
        buttons[index]->click();
}

void CamListPane::showNotice()
{
    showLoaded(m_notice, window());
}

void CamListPane::closeWindows()
{
    unloadWindows({m_addDialog.data(), m_editDialog.data(), m_notice.data()});
}

void CamListPane::cmdAdd_Click()
{
    if (!m_addDialog) {
        m_addDialog = new AddCamDialog(window());
        connect(m_addDialog, &CamEntryDialog::camListChanged, this, &CamListPane::reload);
    }
    m_addDialog->show();
    m_addDialog->raise();
    m_addDialog->activateWindow();
}

void CamListPane::cmdEdit_Click()
{
    if (!isCamSelected()) {
        showNotice();
        return;
    }
    const QString selected = currentName();
    // A dialog that is open already keeps the entry it loaded; only its caption follows.
    if (!m_editDialog) {
        m_editDialog = new EditCamDialog(selected, window());
        connect(m_editDialog, &CamEntryDialog::camListChanged, this, &CamListPane::reload);
        connect(m_editDialog, &EditCamDialog::camEdited, this, &CamListPane::camEdited);
    }
    m_editDialog->setWindowTitle(selected);
    m_editDialog->show();
    m_editDialog->raise();
    m_editDialog->activateWindow();
}

void CamListPane::cmdRemove_Click()
{
    if (!isCamSelected()) {
        showNotice();
        return;
    }
    const CamListResult<std::optional<CamEntry>> found = CamListFile::FindCamEntry(currentName());
    if (!found.ok()) {
        emit statusText(found.errorText());
        return;
    }
    if (!found.value())
        return;
    const CamEntry entry = *found.value();
    const auto answer = MessageBoxes::ask(
        window(), QStringLiteral("Confirm Delete"),
        QStringLiteral("Are you sure you want to delete ") + entry.name + QLatin1Char('?'),
        MessageBoxes::Ok | MessageBoxes::Cancel, MessageBoxes::NoIcon);
    if (answer != MessageBoxes::Ok)
        return;
    // A panel showing the camera keeps running: only the file and the list change.
    const CamListResult<bool> removed = CamListFile::RemoveCamEntry(entry);
    if (!removed.ok())
        emit statusText(removed.errorText());
    reload();
}

void CamListPane::cmdStartCam_Click()
{
    if (isCamSelected())
        emit openRequested(currentName());
    else
        showNotice();
}
