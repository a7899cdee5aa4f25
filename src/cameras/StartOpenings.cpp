#include "StartOpenings.h"

#include <algorithm>

#include <QCoreApplication>

StartOpenings StartOpenings::plan(const QStringList &listed, const QStringList &remembered,
                                  const QStringList &named, bool all)
{
    StartOpenings out;
    const QStringList asked = remembered + named;
    // A remembered camera keeps its old panel even when it is named too; the
    // named ones open after them in the order of the list, as all of them would.
    out.wanted = remembered;
    for (const QString &name : listed) {
        if (all || named.contains(name))
            out.wanted << name;
    }
    out.wanted.erase(std::remove_if(out.wanted.begin(), out.wanted.end(),
                                    [&](const QString &name) { return !listed.contains(name); }),
                     out.wanted.end());
    for (const QString &name : asked) {
        if (!listed.contains(name) && !out.unknown.contains(name))
            out.unknown << name;
    }
    return out;
}

QString StartOpenings::report(const QStringList &unknown, const QStringList &leftOut,
                              int panelCount)
{
    const auto tr = [](const char *text) {
        return QCoreApplication::translate("StartOpenings", text);
    };
    const auto quoted = [](const QStringList &list) {
        QStringList out;
        for (const QString &name : list)
            out << QLatin1Char('"') + name + QLatin1Char('"');
        return out.join(QStringLiteral(", "));
    };
    QStringList said;
    if (!unknown.isEmpty())
        said << tr("Not in the camera list, so not opened: %1.").arg(quoted(unknown));
    if (!leftOut.isEmpty())
        said << tr("All %1 panels are in use; %2 more %3 did not open: %4.")
                    .arg(panelCount)
                    .arg(leftOut.size())
                    .arg(leftOut.size() == 1 ? tr("camera") : tr("cameras"), quoted(leftOut));
    return said.join(QLatin1Char(' '));
}
