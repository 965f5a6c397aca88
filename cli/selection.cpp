#include "selection.h"

#include "ipv4address.h"

#include <QHash>
#include <QRegularExpression>

#include <cstring>

bool selects(const QString &selector, const DeviceRecord &record)
{
    quint8 ip[4];
    if (parseIPv4(selector, ip) && std::memcmp(ip, record.ip, 4) == 0)
        return true;
    static const QRegularExpression mac(
        QStringLiteral("^[0-9a-f]{2}([:-])[0-9a-f]{2}(\\1[0-9a-f]{2}){4}$|^[0-9a-f]{12}$|"
                       "^[0-9a-f]{4}\\.[0-9a-f]{4}\\.[0-9a-f]{4}$"),
        QRegularExpression::CaseInsensitiveOption);
    if (mac.match(selector).hasMatch()) {
        QString digits = selector.toUpper();
        digits.remove(QRegularExpression(QStringLiteral("[^0-9A-F]")));
        if (digits == record.macText())
            return true;
    }
    return selector == DeviceRecord::fieldText(record.serialNumber);
}

bool selectCameras(const QList<DeviceRecord> &records, const QStringList &selectors, bool all,
                   QList<DeviceRecord> &chosen, QString &error)
{
    for (const QString &selector : selectors) {
        bool found = false;
        for (const DeviceRecord &r : records)
            found = found || selects(selector, r);
        if (!found) {
            error = QStringLiteral("No camera matched %1.").arg(selector);
            return false;
        }
    }
    if (all && records.isEmpty()) {
        error = QStringLiteral("No camera answered the discovery.");
        return false;
    }
    // One job per camera, keyed by MAC. A camera heard on two NICs is reached
    // through the one whose subnet it is in, when there is such a one.
    chosen.clear();
    QHash<QString, int> byMac;
    for (const DeviceRecord &r : records) {
        bool wanted = all;
        for (const QString &selector : selectors)
            wanted = wanted || selects(selector, r);
        if (!wanted)
            continue;
        const auto known = byMac.constFind(r.macText());
        if (known == byMac.constEnd()) {
            byMac.insert(r.macText(), chosen.size());
            chosen.append(r);
        } else if (checkSubnet(chosen[*known]) == SubnetCheck::OtherSubnet &&
                   checkSubnet(r) == SubnetCheck::SameSubnet) {
            chosen[*known] = r;
        }
    }
    return true;
}
