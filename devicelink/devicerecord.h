// One camera as one discovery acknowledge reported it.
#pragma once

#include <QString>

class UdpSocket;

struct DeviceRecord {
    quint8 mac[6] = {};
    quint8 ip[4] = {};
    quint8 mask[4] = {};
    quint8 gateway[4] = {};
    qint32 ipConfig = 0;
    char manufacturerName[33] = {};
    char modelName[33] = {};
    char deviceVersion[33] = {};
    char serialNumber[17] = {};
    char userDefinedName[17] = {};
    UdpSocket *socketSlot = nullptr;  // a slot of DeviceLink; valid for the process's life
    QString hostIP;                   // local address the camera answered on

    QString ipText() const;
    QString maskText() const;
    QString gatewayText() const;
    QString macText() const;    // 12 upper-case hex digits
    QString macHex() const;     // 12 lower-case hex digits
    QString comboText() const;  // ip ":" ASCII letters and digits of the serial number
    QString itemText() const;   // comboText ":" macHex, the device list label
};
