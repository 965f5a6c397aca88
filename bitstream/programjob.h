// The bitstream programming job, independent of the window: it programs a
// file from flash address 0 through a DeviceAccess and reports through
// callbacks.
#pragma once

#include <QString>

// Everything the job needs from widgets and the device table, taken on the
// GUI thread when Program is clicked.
struct BitstreamJobInput {
    QString path;
    bool cameraSelected = false;  // the device list had a current entry
    QString deviceVersion;        // that record's deviceVersion
};
