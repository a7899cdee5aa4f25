#pragma once

#include <QLabel>
#include <QPointer>

// A skin label: lies over a plain label at the same place, with the same font,
// text and visibility, in the skin's colours. It lets the clicks through to the
// label beneath and keeps to the label's place when a layout moves it.
class SkinLabel : public QLabel
{
    Q_OBJECT
public:
    explicit SkinLabel(QWidget *parent = nullptr);

    // Copies from label, in this order: top, left, height, width, font, caption
    // and visibility, then lies above it. The label itself is left as it is.
    void coverLabel(QLabel *label);
    QLabel *coveredLabel() const { return qobject_cast<QLabel *>(m_covered.data()); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Held as a widget: its filter still sees events while a label is being
    // destroyed, when it is a label no more.
    QPointer<QWidget> m_covered;
};
