#include "SkinSupport.h"

#include <QObject>

namespace {
bool &made()
{
    static bool m = false;
    return m;
}
} // namespace

SkinSupport &SkinSupport::instance()
{
    static SkinSupport support;
    made() = true;
    return support;
}

bool SkinSupport::exists()
{
    return made();
}

void SkinSupport::adoptSkinObject(QObject *skinObject)
{
    m_skinObject = skinObject;
    m_calls.append(8);
}

void SkinSupport::afterSkinObject()
{
    m_calls.append(11);
}

void SkinSupport::refreshSkin()
{
    m_calls.append(12);
}
