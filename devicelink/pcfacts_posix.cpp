#include "pcfacts.h"

#include <QFile>
#include <QStringList>

namespace pcfacts {

namespace {

qint64 numberIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 value = file.readAll().trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

// /proc/net/netstat and /proc/net/snmp: per group a line of names and a line
// of values, both starting with "Group:".
qint64 counterIn(const QString &path, const QString &group, const QString &name)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    const QString head = group + QLatin1Char(':');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith(head) || !lines[i + 1].startsWith(head))
            continue;
        const QStringList names = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QStringList values = lines[i + 1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const int at = names.indexOf(name);
        bool ok = false;
        const qint64 value = at > 0 && at < values.size() ? values[at].toLongLong(&ok) : -1;
        return ok ? value : -1;
    }
    return -1;
}

// /proc/net/stat/rt_cache: a line of names, then one line of hexadecimal
// values per processor.
qint64 perProcessorSum(const QString &path, const QString &name)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    const int at = lines.value(0).split(QLatin1Char(' '), Qt::SkipEmptyParts).indexOf(name);
    if (at < 0)
        return -1;
    qint64 sum = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList values = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool ok = false;
        const qint64 value = values.value(at).toLongLong(&ok, 16);
        if (!values.isEmpty() && !ok)
            return -1;
        sum += ok ? value : 0;
    }
    return sum;
}

}  // namespace

Counters readCounters()
{
    Counters c;
    c.reversePathDrops = counterIn(QStringLiteral("/proc/net/netstat"), QStringLiteral("TcpExt"),
                                   QStringLiteral("IPReversePathFilter"));
    c.martianSources = perProcessorSum(QStringLiteral("/proc/net/stat/rt_cache"),
                                       QStringLiteral("in_martian_src"));
    c.receiveBufferDrops = counterIn(QStringLiteral("/proc/net/snmp"), QStringLiteral("Udp"),
                                     QStringLiteral("RcvbufErrors"));
    return c;
}

qint64 receiveBufferLimit() { return numberIn(QStringLiteral("/proc/sys/net/core/rmem_max")); }

int linkSpeedMbps(const QString &card)
{
    // A card that is down or has no fixed speed reads -1 or fails.
    if (card.isEmpty() || card.contains(QLatin1Char('/')))
        return -1;
    const qint64 speed = numberIn(QStringLiteral("/sys/class/net/%1/speed").arg(card));
    return speed > 0 && speed < (1LL << 31) ? int(speed) : -1;
}

int reversePathFilter(const QString &card)
{
    if (card.contains(QLatin1Char('/')))
        return -1;
    const QString name = card.isEmpty() ? QStringLiteral("all") : card;
    const qint64 value = numberIn(QStringLiteral("/proc/sys/net/ipv4/conf/%1/rp_filter").arg(name));
    return value >= 0 && value <= 2 ? int(value) : -1;
}

}  // namespace pcfacts
