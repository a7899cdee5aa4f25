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
    const QString shown = DisplayText::escapeControls(text);
    if (m_held)
        m_heldText = shown;
    else
        m_panel->setText(shown);
}

QString MainStatusBar::text() const
{
    return m_held ? m_heldText : m_panel->text();
}

void MainStatusBar::setHeld(bool held)
{
    if (held == m_held)
        return;
    if (held)
        m_heldText = m_panel->text();
    else
        m_panel->setText(m_heldText);
    m_held = held;
}

void MainStatusBar::fitPanel()
{
    m_panel->resize(width(), m_panel->height());
}
