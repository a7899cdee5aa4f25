#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QLabel;
class QWidget;
class SkinLabel;

// A control array of skin labels (`SkinLabel1`, `SkinLabel2`). Element 0 is
// the template: it is never shown and only says in which container the array
// lives. New elements are named after the array and their index, as
// "SkinLabel1_1", "SkinLabel1_2", ...
class SkinLabelArray : public QObject
{
    Q_OBJECT
public:
    // The array lives as long as its window, as a child object of it.
    SkinLabelArray(const QString &name, QWidget *templateContainer, QWidget *window);

    // The array named name on window, or nullptr.
    static SkinLabelArray *find(QWidget *window, const QString &name);

    QWidget *templateContainer() const { return m_templateContainer; }
    // The highest index in use: 0 while only the template is there.
    int upperBound() const { return static_cast<int>(m_elements.size()); }
    // Element index (1 to upperBound()), or nullptr for the template, an index
    // out of range or an element whose window has gone.
    SkinLabel *element(int index) const;

    // Loads the element upperBound() + 1 and lays it over label.
    SkinLabel *addCovering(QLabel *label);

private:
    QPointer<QWidget> m_templateContainer;
    QList<QPointer<SkinLabel>> m_elements;
};
