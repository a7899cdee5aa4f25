#include "PictureWindow.h"

#include <QCloseEvent>
#include <QPalette>
#include <QResizeEvent>

#include "AppInfo.h"
#include "WindowUtils.h"

namespace {
// Distance of the busy indicator from the screen's top right corner.
constexpr int kIndicatorMargin = 8;
} // namespace

PictureWindow::ScreenSaverSwitch PictureWindow::defaultScreenSaverSwitch()
{
    return &WindowUtils::SetScreenSaverActive;
}

PictureWindow::PictureWindow(ScreenSaverSwitch screenSaver, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_screenSaver(std::move(screenSaver))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(AppInfo::productName());
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    image->setObjectName(QStringLiteral("Image1"));
    // A camera's picture stretched to a screen of another shape looks wrong.
    image->setKeepAspect(true);
    busyIndicator->setObjectName(QStringLiteral("picrefresh"));
    busyIndicator->hide();
    busyIndicator->raise();
    connect(image, &ZoomImage::clicked, this, &PictureWindow::onImageClicked);
    fitChildren();
}

PictureWindow::~PictureWindow()
{
    // Destroyed without a close (the main window went first): still let the
    // screen saver go.
    releaseScreenSaver();
}

PictureWindow *PictureWindow::open(const QImage &picture, QWidget *parent,
                                   ScreenSaverSwitch screenSaver)
{
    if (screenSaver) {
        try {
            screenSaver(false);
        } catch (...) {
            // Without the switch the picture still shows; the screen saver may cut in.
        }
    }
    auto *window = new PictureWindow(std::move(screenSaver), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setPicture(picture);
    window->showFullScreen();
    return window;
}

void PictureWindow::setPicture(const QImage &picture)
{
    image->setPicture(picture);
}

void PictureWindow::setBusy(bool busy)
{
    busyIndicator->setVisible(busy);
    if (busy)
        busyIndicator->raise();
}

void PictureWindow::resizeEvent(QResizeEvent *event)
{
    fitChildren();
    QWidget::resizeEvent(event);
}

void PictureWindow::showEvent(QShowEvent *event)
{
    // Each showing is paired with one release when it ends.
    m_screenSaverReleased = false;
    fitChildren();
    QWidget::showEvent(event);
}

void PictureWindow::closeEvent(QCloseEvent *event)
{
    releaseScreenSaver();
    event->accept();
}

void PictureWindow::onImageClicked()
{
    emit closedByClick();
    close();
}

void PictureWindow::releaseScreenSaver()
{
    if (m_screenSaverReleased)
        return;
    m_screenSaverReleased = true;
    if (!m_screenSaver)
        return;
    try {
        m_screenSaver(true);
    } catch (...) {
        // Nothing more to do from a close; the desktop drops the hold with the process.
    }
}

void PictureWindow::fitChildren()
{
    image->setGeometry(rect());
    busyIndicator->move(width() - busyIndicator->width() - kIndicatorMargin, kIndicatorMargin);
}
