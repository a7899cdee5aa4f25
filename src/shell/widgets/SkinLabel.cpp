#include "SkinLabel.h"

#include <QEvent>

SkinLabel::SkinLabel(QWidget *parent)
    : QLabel(parent)
{
    // The label beneath keeps its tool tip and its clicks.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(false);
}

void SkinLabel::coverLabel(QLabel *label)
{
    if (!label)
        return;
    if (m_covered)
        m_covered->removeEventFilter(this);
    m_covered = label;
    if (parentWidget() != label->parentWidget())
        setParent(label->parentWidget());

    const QRect g = label->geometry();
    move(g.left(), g.top());
    resize(g.width(), g.height());
    setFont(label->font());
    // The same text in the same place only lines up if it is laid out the same way.
    setTextFormat(label->textFormat());
    setAlignment(label->alignment());
    setWordWrap(label->wordWrap());
    setIndent(label->indent());
    setMargin(label->margin());
    setContentsMargins(label->contentsMargins());
    setText(label->text());
    // isHidden, not isVisible: a label of a window that is not shown yet is
    // still meant to be seen once the window is.
    setVisible(!label->isHidden());
    raise();

    label->installEventFilter(this);
}

bool SkinLabel::eventFilter(QObject *watched, QEvent *event)
{
    // Layouts place labels when their window is first shown, after the skin
    // labels were made; follow the label so the two stay one on the other.
    if (watched == m_covered && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        setGeometry(m_covered->geometry());
    return QLabel::eventFilter(watched, event);
}
