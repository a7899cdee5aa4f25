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

void SkinSupport::slot8(QObject *skinObject)
{
    m_skinObject = skinObject;
    m_calls.append(8);
}

void SkinSupport::slot11()
{
    m_calls.append(11);
}

void SkinSupport::slot12()
{
    m_calls.append(12);
}
