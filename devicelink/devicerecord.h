// One camera as one discovery acknowledge reported it.
#pragma once

#include <QString>

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
    QString hostIP;         // local address the camera answered on, as shown to the user
    QString localAddress;   // address of the socket the acknowledge came in on (its channel's)
    QString interfaceName;  // the network card it came in on, when known

    QString ipText() const;
    QString maskText() const;
    QString gatewayText() const;
    QString macText() const;       // 12 upper-case hex digits
    QString macHex() const;        // 12 lower-case hex digits
    QString comboText() const;     // ip ":" ASCII letters and digits of the serial number
    QString itemText() const;      // comboText ":" macHex, the device list label
    QString macColonText() const;  // 00:11:22:33:44:55
    // A name field of the acknowledge: its bytes up to the first zero, as UTF-8.
    static QString fieldText(const char *field, int width);
    template <int N>
    static QString fieldText(const char (&field)[N])
    {
        return fieldText(field, N);
    }
    QString versionText() const { return fieldText(deviceVersion, sizeof deviceVersion); }
};

// Is the camera in the subnet of the PC address it answered on? Only the
// first three octets are compared, with the camera's own mask on both sides;
// undecided when hostIP is not four dot-separated parts (a part that is not
// a number counts as 0).
enum class SubnetCheck { Undecided, SameSubnet, OtherSubnet };
SubnetCheck checkSubnet(const DeviceRecord &record);
