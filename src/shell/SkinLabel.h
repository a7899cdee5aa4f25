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
    QLabel *coveredLabel() const { return m_covered; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QLabel> m_covered;
};
