// The controls a flash job locks, and whether they are on, off or mixed.
#pragma once

#include <QStringList>
#include <QWidget>

inline const QStringList &cameraControlNames()
{
    static const QStringList names{"btnRefresh", "cbDevice",   "btnWriteSPI",
                                   "btnProgramBit", "btnForceIp", "btnIPConfig"};
    return names;
}

// 1: all enabled, 0: all disabled, -1: mixed.
inline int cameraControlsState(const QWidget *window)
{
    int enabled = 0;
    for (const QString &name : cameraControlNames())
        enabled += window->findChild<QWidget *>(name)->isEnabled() ? 1 : 0;
    return enabled == cameraControlNames().size() ? 1 : enabled == 0 ? 0 : -1;
}
