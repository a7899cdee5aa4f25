#include "ReviewWindow.h"

#include <algorithm>

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QUrl>
#include <QVBoxLayout>

#include "PictureIndex.h"
#include "ReviewTimeline.h"
#include "ScaledDecode.h"
#include "SnapshotNameReader.h"

namespace {

constexpr int PlaySpeeds[] = {1, 2, 5, 10, 25, 50};

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *made = new QPushButton(text, parent);
    made->setObjectName(QString::fromLatin1(name));
    // Space plays; it must never press a button that happens to have the focus.
    made->setFocusPolicy(Qt::NoFocus);
    return made;
}

} // namespace

ReviewWindow::ReviewWindow(PictureIndex *index, const QString &camFolder, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_index(index)
    , m_camFolder(camFolder)
{
    setObjectName(QStringLiteral("ReviewWindow"));
    setWindowTitle(tr("Review"));

    cboCamera = new QComboBox(this);
    cboCamera->setObjectName(QStringLiteral("cboCamera"));
    cboCamera->setFocusPolicy(Qt::ClickFocus);
    dateDay = new QDateEdit(this);
    dateDay->setObjectName(QStringLiteral("dateDay"));
    dateDay->setCalendarPopup(true);
    dateDay->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dateDay->setFocusPolicy(Qt::ClickFocus);
    lblWhen = new QLabel(this);
    lblWhen->setObjectName(QStringLiteral("lblWhen"));
    lblWhen->setTextInteractionFlags(Qt::TextSelectableByMouse);

    imgPicture = new QLabel(this);
    imgPicture->setObjectName(QStringLiteral("imgPicture"));
    imgPicture->setAlignment(Qt::AlignCenter);
    imgPicture->setMinimumSize(320, 180);
    imgPicture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imgPicture->setStyleSheet(QStringLiteral("background: black; color: #aaa"));

    timeline = new ReviewTimeline(this);

    cmdPlay = button(tr("Play"), "cmdPlay", this);
    cboSpeed = new QComboBox(this);
    cboSpeed->setObjectName(QStringLiteral("cboSpeed"));
    cboSpeed->setFocusPolicy(Qt::NoFocus);
    for (int speed : PlaySpeeds)
        cboSpeed->addItem(tr("%1 pictures/s").arg(speed), speed);
    cboSpeed->setCurrentIndex(3);
    cmdSaveCopy = button(tr("Save a copy…"), "cmdSaveCopy", this);
    cmdShowInFolder = button(tr("Show in folder"), "cmdShowInFolder", this);
    cmdExport = button(tr("Export timelapse…"), "cmdExport", this);
    prgExport = new QProgressBar(this);
    prgExport->setObjectName(QStringLiteral("prgExport"));
    prgExport->setVisible(false);
    cmdCancelExport = button(tr("Cancel"), "cmdCancelExport", this);
    cmdCancelExport->setVisible(false);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Camera:"), this));
    top->addWidget(cboCamera, 1);
    top->addWidget(new QLabel(tr("Day:"), this));
    top->addWidget(dateDay);
    top->addWidget(lblWhen, 2);
    auto *actions = new QHBoxLayout;
    actions->addWidget(cmdPlay);
    actions->addWidget(cboSpeed);
    actions->addStretch(1);
    actions->addWidget(cmdSaveCopy);
    actions->addWidget(cmdShowInFolder);
    actions->addWidget(cmdExport);
    auto *progress = new QHBoxLayout;
    progress->addWidget(lblStatus, 1);
    progress->addWidget(prgExport, 1);
    progress->addWidget(cmdCancelExport);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(imgPicture, 1);
    layout->addWidget(timeline);
    layout->addLayout(actions);
    layout->addLayout(progress);

    connect(cboCamera, &QComboBox::currentIndexChanged, this, &ReviewWindow::onCameraChosen);
    connect(dateDay, &QDateEdit::dateChanged, this, [this](const QDate &date) {
        if (date != m_date)
            showDay(date);
    });
    connect(timeline, &ReviewTimeline::scrubbed, this, &ReviewWindow::showMoment);
    connect(cmdPlay, &QPushButton::clicked, this, [this] { setPlaying(!isPlaying()); });
    connect(cboSpeed, &QComboBox::currentIndexChanged, this,
            [this] { setPlaySpeed(cboSpeed->currentData().toInt()); });
    connect(&m_play, &QTimer::timeout, this, [this] {
        if (m_current + 1 >= m_day.size())
            setPlaying(false);
        else
            step(1);
    });
    connect(cmdSaveCopy, &QPushButton::clicked, this, &ReviewWindow::onSaveCopyClicked);
    connect(cmdShowInFolder, &QPushButton::clicked, this, &ReviewWindow::onShowInFolderClicked);
    connect(cmdExport, &QPushButton::clicked, this, &ReviewWindow::onExportClicked);
    connect(cmdCancelExport, &QPushButton::clicked, this, &ReviewWindow::cancelExport);
    connect(&m_exporter, &TimelapseExporter::progress, this, [this](int done, int total) {
        prgExport->setMaximum(total);
        prgExport->setValue(done);
    });
    connect(&m_exporter, &TimelapseExporter::finished, this, &ReviewWindow::onExportFinished);
    if (m_index)
        connect(m_index, &PictureIndex::scanFinished, this, &ReviewWindow::reload);

    setPlaySpeed(cboSpeed->currentData().toInt());
    timeline->setFocus();
    resize(960, 680);
    reload();
}

ReviewWindow::~ReviewWindow()
{
    m_exporter.cancel();
    m_exporter.wait();
}

void ReviewWindow::reload()
{
    const QString chosen = camera();
    const QStringList cameras = m_index ? m_index->cameras() : QStringList();
    {
        const QSignalBlocker block(cboCamera);
        cboCamera->clear();
        cboCamera->addItems(cameras);
        cboCamera->setCurrentIndex(std::max<qsizetype>(0, cameras.indexOf(chosen)));
    }
    onCameraChosen();
}

bool ReviewWindow::selectCamera(const QString &camName)
{
    int at = cboCamera->findText(camName);
    if (at < 0)
        at = cboCamera->findText(SnapshotNameReader::cameraPart(camName));
    if (at < 0)
        return false;
    if (at == cboCamera->currentIndex())
        onCameraChosen();
    else
        cboCamera->setCurrentIndex(at);
    return true;
}

QString ReviewWindow::camera() const
{
    return cboCamera->currentText();
}

void ReviewWindow::onCameraChosen()
{
    setWindowTitle(camera().isEmpty() ? tr("Review") : tr("Review — %1").arg(camera()));
    // The day shown, if the camera has pictures then; else its latest day.
    const QList<QDate> days =
        m_index && !camera().isEmpty() ? m_index->days(camera()) : QList<QDate>();
    QDate date = m_date.isValid() ? m_date : QDate::currentDate();
    if (!days.isEmpty() && !days.contains(date))
        date = days.last();
    showDay(date);
}

qint64 ReviewWindow::dayStartMs() const
{
    return m_date.startOfDay().toMSecsSinceEpoch();
}

void ReviewWindow::showDay(const QDate &date)
{
    const qint64 previousMs =
        m_current >= 0 && m_current < m_day.size() ? m_day.at(m_current).timeMs - dayStartMs() : -1;
    m_date = date;
    {
        const QSignalBlocker block(dateDay);
        dateDay->setDate(date);
    }
    m_day.clear();
    m_events.clear();
    m_current = -1;
    if (m_index && !camera().isEmpty()) {
        m_day = m_index->day(camera(), date);
        m_events = m_index->events(camera(), date.startOfDay(), date.addDays(1).startOfDay());
    }
    QList<int> seconds;
    seconds.reserve(m_day.size());
    const qint64 start = dayStartMs();
    for (const IndexedPicture &picture : std::as_const(m_day))
        seconds.append(int((picture.timeMs - start) / 1000));
    QList<int> eventSeconds;
    for (const IndexedEvent &event : std::as_const(m_events))
        eventSeconds.append(int((event.firstMs - start) / 1000));
    timeline->setDay(seconds, eventSeconds);
    lblStatus->setText(tr("%1 pictures, %2 changes").arg(m_day.size()).arg(m_events.size()));
    if (m_day.isEmpty()) {
        timeline->setCurrent(-1);
        imgPicture->setPixmap(QPixmap());
        imgPicture->setText(tr("No pictures of this camera on this day"));
        lblWhen->clear();
        return;
    }
    if (previousMs >= 0)
        showMoment(int(previousMs / 1000));
    else
        showPicture(0);
}

void ReviewWindow::showMoment(int secondOfDay)
{
    if (m_day.isEmpty())
        return;
    const qint64 moment = dayStartMs() + qint64(secondOfDay) * 1000;
    const auto after = std::lower_bound(
        m_day.cbegin(), m_day.cend(), moment,
        [](const IndexedPicture &picture, qint64 ms) { return picture.timeMs < ms; });
    qsizetype at = after - m_day.cbegin();
    if (at == m_day.size() ||
        (at > 0 && moment - m_day.at(at - 1).timeMs <= m_day.at(at).timeMs - moment))
        --at;
    showPicture(int(at));
}

void ReviewWindow::showPicture(int index)
{
    if (index < 0 || index >= m_day.size())
        return;
    m_current = index;
    const IndexedPicture &picture = m_day.at(index);
    timeline->setCurrent(int((picture.timeMs - dayStartMs()) / 1000));
    lblWhen->setText(
        tr("%1  %2  (%3 of %4)")
            .arg(picture.time().time().toString(QStringLiteral("HH:mm:ss")), picture.file)
            .arg(index + 1)
            .arg(m_day.size()));
    redrawPicture();
    emit pictureShown(index);
}

void ReviewWindow::redrawPicture()
{
    if (m_current < 0 || m_current >= m_day.size())
        return;
    const QImage image =
        decodeToFit(m_index->pathOf(m_day.at(m_current)), imgPicture->contentsRect().size());
    if (image.isNull()) {
        imgPicture->setPixmap(QPixmap());
        imgPicture->setText(tr("This picture cannot be read (deleted or damaged)"));
        return;
    }
    imgPicture->setPixmap(QPixmap::fromImage(image));
}

QImage ReviewWindow::decodeToFit(const QString &path, const QSize &box)
{
    return ScaledDecode::toFit(path, box);
}

void ReviewWindow::step(int pictures)
{
    if (m_day.isEmpty())
        return;
    showPicture(std::clamp(m_current + pictures, 0, int(m_day.size()) - 1));
}

void ReviewWindow::jumpEvent(int direction)
{
    if (m_events.isEmpty() || m_current < 0)
        return;
    const qint64 now = m_day.at(m_current).timeMs;
    const IndexedEvent *target = nullptr;
    if (direction > 0) {
        for (const IndexedEvent &event : std::as_const(m_events)) {
            if (event.firstMs > now) {
                target = &event;
                break;
            }
        }
    } else {
        for (auto it = m_events.crbegin(); it != m_events.crend(); ++it) {
            if (it->firstMs < now) {
                target = &*it;
                break;
            }
        }
    }
    if (target)
        showMoment(int((target->firstMs - dayStartMs()) / 1000));
}

void ReviewWindow::setPlaying(bool playing)
{
    if (playing && !m_day.isEmpty()) {
        if (m_current + 1 >= m_day.size())
            showPicture(0);
        m_play.start();
    } else {
        m_play.stop();
    }
    cmdPlay->setText(isPlaying() ? tr("Pause") : tr("Play"));
}

void ReviewWindow::setPlaySpeed(int picturesPerSecond)
{
    m_play.setInterval(1000 / std::max(1, picturesPerSecond));
}

void ReviewWindow::keyPressEvent(QKeyEvent *event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Left:
        control ? jumpEvent(-1) : step(-1);
        break;
    case Qt::Key_Right:
        control ? jumpEvent(1) : step(1);
        break;
    case Qt::Key_Home:
        showPicture(0);
        break;
    case Qt::Key_End:
        showPicture(int(m_day.size()) - 1);
        break;
    case Qt::Key_Space:
        setPlaying(!isPlaying());
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ReviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    redrawPicture();
}

bool ReviewWindow::saveCopyTo(const QString &path)
{
    if (m_current < 0)
        return false;
    if (QFile::exists(path))
        QFile::remove(path);
    const bool copied = QFile::copy(m_index->pathOf(m_day.at(m_current)), path);
    lblStatus->setText(copied
                           ? tr("Saved a copy as %1").arg(QDir::toNativeSeparators(path))
                           : tr("Could not save a copy as %1").arg(QDir::toNativeSeparators(path)));
    return copied;
}

void ReviewWindow::onSaveCopyClicked()
{
    if (m_current < 0)
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save a copy"), QDir::homePath() + QLatin1Char('/') + m_day.at(m_current).file,
        tr("JPEG pictures (*.jpg)"));
    if (!path.isEmpty())
        saveCopyTo(path);
}

void ReviewWindow::onShowInFolderClicked()
{
    if (m_current < 0)
        return;
    const QString path = m_index->pathOf(m_day.at(m_current));
    // The desktop's file manager, with the picture selected, where it offers that.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service)) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                           service, QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
        bus.call(call, QDBus::NoBlock);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void ReviewWindow::onExportClicked()
{
    if (camera().isEmpty() || isExporting())
        return;
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Export timelapse"));
    auto *from = new QTimeEdit(QTime(0, 0), &dialog);
    auto *to = new QTimeEdit(QTime(23, 59), &dialog);
    for (QTimeEdit *edit : {from, to})
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
    auto *mode = new QComboBox(&dialog);
    mode->addItem(tr("Speed (real seconds per second)"));
    mode->addItem(tr("Length of the video (seconds)"));
    auto *value = new QDoubleSpinBox(&dialog);
    value->setRange(0.1, 1e6);
    value->setValue(600);
    auto *fps = new QSpinBox(&dialog);
    fps->setRange(1, 120);
    fps->setValue(30);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto *form = new QFormLayout(&dialog);
    form->addRow(tr("From:"), from);
    form->addRow(tr("To:"), to);
    form->addRow(mode, value);
    form->addRow(tr("Frames a second:"), fps);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString output = QFileDialog::getSaveFileName(
        this, tr("Export timelapse"),
        QDir::homePath() + QStringLiteral("/%1-%2.mp4").arg(camera(), m_date.toString(Qt::ISODate)),
        tr("MP4 videos (*.mp4)"));
    if (output.isEmpty())
        return;
    TimelapseOptions options;
    options.output = output;
    options.fps = fps->value();
    if (mode->currentIndex() == 0)
        options.speed = value->value();
    else
        options.lengthSeconds = value->value();
    startExport(QDateTime(m_date, from->time()), QDateTime(m_date, to->time()).addSecs(59),
                options);
}

bool ReviewWindow::startExport(const QDateTime &from, const QDateTime &to, TimelapseOptions options)
{
    if (!m_index || isExporting())
        return false;
    QList<TimelapsePicture> pictures;
    for (const IndexedPicture &picture : m_index->between(camera(), from, to))
        pictures.append({picture.timeMs, m_index->pathOf(picture)});
    if (pictures.isEmpty()) {
        lblStatus->setText(tr("No pictures to export in that time"));
        return false;
    }
    m_exportOutput = options.output;
    prgExport->setRange(0, 0);
    prgExport->setVisible(true);
    cmdCancelExport->setVisible(true);
    cmdExport->setEnabled(false);
    lblStatus->setText(tr("Exporting %1 pictures…").arg(pictures.size()));
    return m_exporter.start(pictures, options);
}

void ReviewWindow::onExportFinished(const TimelapseSummary &summary)
{
    prgExport->setVisible(false);
    cmdCancelExport->setVisible(false);
    cmdExport->setEnabled(true);
    if (summary.cancelled)
        lblStatus->setText(tr("Export cancelled"));
    else if (summary.failure)
        lblStatus->setText(tr("Export failed: %1").arg(summary.failure->text));
    else
        lblStatus->setText(tr("Exported %1 frames to %2 (%3 gaps cut)")
                               .arg(summary.frames)
                               .arg(QDir::toNativeSeparators(m_exportOutput))
                               .arg(summary.gapsCut));
    emit exportFinished(summary);
}
