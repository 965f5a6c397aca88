// Which of the cameras discovery found a command works on: the selectors of
// -c and --all, each camera once.
#pragma once

#include "devicerecord.h"

#include <QList>
#include <QString>
#include <QStringList>

// Does `selector` name this camera? An IP address, a MAC in any common
// notation (00:11:22:33:44:55, 00-11-22-33-44-55, 001122334455,
// 0011.2233.4455, any letter case) or the exact serial number.
bool selects(const QString &selector, const DeviceRecord &record);

// The cameras that `selectors` (or `all`) name, in discovery order, one
// record per MAC: a camera that answered on two cards is one camera, and its
// job uses the first record found, unless a later one is in its card's
// subnet and the first is not. False with `error` naming the first selector
// that matches no camera.
bool selectCameras(const QList<DeviceRecord> &records, const QStringList &selectors, bool all,
                   QList<DeviceRecord> &chosen, QString &error);
