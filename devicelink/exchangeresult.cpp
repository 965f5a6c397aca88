#include "exchangeresult.h"

QString cameraStatusName(quint16 status)
{
    switch (status) {
    case 0x0000: return QStringLiteral("success");
    case 0x8001: return QStringLiteral("not implemented");
    case 0x8002: return QStringLiteral("invalid parameter");
    case 0x8003: return QStringLiteral("invalid address");
    case 0x8004: return QStringLiteral("write protect");
    case 0x8005: return QStringLiteral("bad alignment");
    case 0x8006: return QStringLiteral("access denied");
    case 0x8007: return QStringLiteral("busy");
    case 0x800B: return QStringLiteral("message timeout");
    case 0x800E: return QStringLiteral("invalid header");
    case 0x800F: return QStringLiteral("wrong configuration");
    case 0x8FFF: return QStringLiteral("error");
    default: return QString();
    }
}

QString cameraStatusText(quint16 status)
{
    const QString code = QStringLiteral("0x%1").arg(status, 4, 16, QLatin1Char('0'));
    const QString name = cameraStatusName(status);
    return name.isEmpty() ? code : code + QStringLiteral(" (") + name + QLatin1Char(')');
}
