#pragma once

#include <QStringList>

// Which cameras a start opens, and in what order, before any panel is
// touched: first the cameras remembered from the last close, in their old
// panel order, then every listed camera (all) or the listed ones among the
// named, in file order. A name asked for but not in the list is told, not
// opened.
struct StartOpenings
{
    // Listed cameras to open, in order; a name may come twice (remembered and
    // named), the second opening finds it open.
    QStringList wanted;
    // Remembered or named cameras the list does not have, each once.
    QStringList unknown;

    static StartOpenings plan(const QStringList &listed, const QStringList &remembered,
                              const QStringList &named, bool all);

    // What the user is told about the unknown names and the cameras that
    // found no free panel; empty when there is nothing to tell.
    static QString report(const QStringList &unknown, const QStringList &leftOut, int panelCount);
};
