#include "SkinLabelArray.h"

#include <QLabel>
#include <QWidget>

#include "SkinLabel.h"

SkinLabelArray::SkinLabelArray(const QString &name, QWidget *templateContainer, QWidget *window)
    : QObject(window)
    , m_templateContainer(templateContainer)
{
    setObjectName(name);
}

SkinLabelArray *SkinLabelArray::find(QWidget *window, const QString &name)
{
    if (!window)
        return nullptr;
    return window->findChild<SkinLabelArray *>(name, Qt::FindDirectChildrenOnly);
}

SkinLabel *SkinLabelArray::element(int index) const
{
    if (index < 1 || index > m_elements.size())
        return nullptr;
    return m_elements.at(index - 1);
}

SkinLabel *SkinLabelArray::addCovering(QLabel *label)
{
    if (!label)
        return nullptr;
    auto *skinLabel = new SkinLabel(label->parentWidget());
    m_elements.append(skinLabel);
    skinLabel->setObjectName(objectName() + QLatin1Char('_') + QString::number(upperBound()));
    skinLabel->coverLabel(label);
    return skinLabel;
}
