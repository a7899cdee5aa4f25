#pragma once

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QTimer>
#include <QWidget>

#include "IndexedPicture.h"
#include "TimelapseExporter.h"

class PictureIndex;
class QComboBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class ReviewTimeline;

// Looking back at what a camera saved: a camera and a day, the day's timeline
// (pictures, gaps, change events), the picture under the pointer at once while
// dragging, stepping with the arrow keys, jumping between changes with
// Ctrl+arrows, playing with Space, and "Save a copy…", "Show in folder" and
// "Export timelapse…" for the picture or the day shown.
//
// It reads the index only: what the saver, retention and the scan keep in it.
// The pictures are decoded at the size shown (libjpeg scales in the DCT), so
// a 4K camera scrubs as fast as a small one.
class ReviewWindow : public QWidget
{
    Q_OBJECT
public:
    ReviewWindow(PictureIndex *index, const QString &camFolder, QWidget *parent = nullptr);
    ~ReviewWindow() override;

    // The camera by its name in the list (or its part of the file names).
    // False when the index has no pictures of it.
    bool selectCamera(const QString &camName);
    QString camera() const;
    // Shows date's pictures of the camera, the first one or the one nearest
    // the time shown before.
    void showDay(const QDate &date);
    QDate day() const { return m_date; }

    // The picture shown: an index into dayPictures(), -1 for none.
    int currentIndex() const { return m_current; }
    const QList<IndexedPicture> &dayPictures() const { return m_day; }
    const QList<IndexedEvent> &dayEvents() const { return m_events; }
    void showPicture(int index);
    // The picture nearest second of the day shown.
    void showMoment(int secondOfDay);
    void step(int pictures);
    // To the start of the next (direction > 0) or previous change event.
    void jumpEvent(int direction);
    void setPlaying(bool playing);
    bool isPlaying() const { return m_play.isActive(); }
    // Pictures a second while playing.
    void setPlaySpeed(int picturesPerSecond);

    bool saveCopyTo(const QString &path);
    // Exports the camera's pictures from from to to with options (output
    // set); progress shows in the window until done or cancelled.
    bool startExport(const QDateTime &from, const QDateTime &to, TimelapseOptions options);
    bool isExporting() const { return m_exporter.isRunning(); }
    void cancelExport() { m_exporter.cancel(); }

    // path decoded to fit box, keeping its shape, at the largest of
    // libjpeg-turbo's n/8 scales that fits (ScaledDecode).
    static QImage decodeToFit(const QString &path, const QSize &box);

    // The cameras and days anew, after a scan.
    void reload();

signals:
    void pictureShown(int index);
    void exportFinished(const TimelapseSummary &summary);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void onCameraChosen();
    void onExportClicked();
    void onSaveCopyClicked();
    void onShowInFolderClicked();
    void onExportFinished(const TimelapseSummary &summary);
    void redrawPicture();
    qint64 dayStartMs() const;

    PictureIndex *m_index = nullptr;
    QString m_camFolder;
    QDate m_date;
    QList<IndexedPicture> m_day;
    QList<IndexedEvent> m_events;
    int m_current = -1;
    QTimer m_play;
    TimelapseExporter m_exporter;
    QString m_exportOutput;

    QComboBox *cboCamera = nullptr;
    QDateEdit *dateDay = nullptr;
    ReviewTimeline *timeline = nullptr;
    QLabel *imgPicture = nullptr;
    QLabel *lblWhen = nullptr;
    QPushButton *cmdPlay = nullptr;
    QComboBox *cboSpeed = nullptr;
    QPushButton *cmdSaveCopy = nullptr;
    QPushButton *cmdShowInFolder = nullptr;
    QPushButton *cmdExport = nullptr;
    QProgressBar *prgExport = nullptr;
    QPushButton *cmdCancelExport = nullptr;
    QLabel *lblStatus = nullptr;
};
