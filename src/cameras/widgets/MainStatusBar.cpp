#include "MainStatusBar.h"

#include "DisplayText.h"
#include "MainWindowLayout.h"
#include "Twips.h"
#include "ValueLabel.h"

MainStatusBar::MainStatusBar(QWidget *parent)
    : QStatusBar(parent)
    , m_panel(new ValueLabel(this))
{
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    setFixedHeight(Twips::toPixels(kStatusBarHeight, Twips::dpiY(this)));
    m_panel->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    // A camera's name or reason phrase that looks like markup is still its text.
    m_panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addWidget(m_panel, 1);
}

void MainStatusBar::setText(const QString &text)
{
    m_panel->setText(DisplayText::escapeControls(text));
}

QString MainStatusBar::text() const
{
    return m_panel->text();
}

void MainStatusBar::fitPanel()
{
    m_panel->resize(width(), m_panel->height());
}
