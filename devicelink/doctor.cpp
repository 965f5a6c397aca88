#include "doctor.h"

#include "camerachannel.h"
#include "devicelink.h"
#include "gvcp.h"
#include "ipv4address.h"
#include "pcfacts.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace doctor {

namespace {

quint32 wordOf(const quint8 bytes[4])
{
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3];
}

QString textOf(quint32 word)
{
    quint8 bytes[4];
    bootstrap::addressBytes(word, bytes);
    return ipv4Text(bytes);
}

bool isLinkLocal(quint32 address) { return (address >> 16) == 0xA9FE; }

int prefixOf(quint32 mask)
{
    int n = 0;
    while (n < 32 && (mask & (0x80000000u >> n)))
        ++n;
    return n;
}

// A card of the scope as numbers. A mask the system did not give is taken
// as the one the window's address proposal uses.
struct Card {
    QString name;
    quint32 address = 0;
    quint32 mask = 0;
    QString addressText;

    bool holds(quint32 ip) const { return (ip & mask) == (address & mask); }
    // "nic0 (192.0.2.1/24)"
    QString label() const
    {
        const QString where = QStringLiteral("%1/%2").arg(addressText).arg(prefixOf(mask));
        return name.isEmpty() ? where : QStringLiteral("%1 (%2)").arg(name, where);
    }
    QString text() const { return QStringLiteral("card ") + label(); }
    QString shortName() const { return name.isEmpty() ? addressText : name; }
};

QList<Card> cardsOf(const QList<LocalAddress> &local)
{
    QList<Card> cards;
    for (const LocalAddress &a : local) {
        quint8 bytes[4];
        if (!parseIPv4(a.address, bytes))
            continue;
        Card c;
        c.name = a.interfaceName;
        c.address = wordOf(bytes);
        c.addressText = a.address;
        quint8 mask[4];
        if (parseIPv4(a.netmask, mask) && wordOf(mask) != 0)
            c.mask = wordOf(mask);
        else
            c.mask = isLinkLocal(c.address) ? 0xFFFF0000u : 0xFFFFFF00u;
        cards.append(c);
    }
    return cards;
}

const Card *cardOf(const QList<Card> &cards, const DeviceRecord &record)
{
    for (const Card &c : cards)
        if (c.addressText == record.hostIP)
            return &c;
    return nullptr;
}

QByteArray macKey(const DeviceRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.mac), 6);
}

QString cameraText(const DeviceRecord &r)
{
    const QString serial = DeviceRecord::fieldText(r.serialNumber);
    return serial.isEmpty() ? QStringLiteral("Camera %1 (%2)").arg(r.ipText(), r.macColonText())
                            : QStringLiteral("Camera %1 (%2, serial %3)")
                                  .arg(r.ipText(), r.macColonText(), serial);
}

QString addressesText(quint32 ip, quint32 mask, quint32 gateway)
{
    return QStringLiteral("%1 / %2 / %3").arg(textOf(ip), textOf(mask), textOf(gateway));
}

// Addresses in use, and those already proposed in this report, so that no
// two fixes hand out one address.
class AddressBook {
public:
    // A camera's stored static address is taken too: it returns there at
    // its next power cycle.
    AddressBook(const QList<Card> &cards, const Observation &o)
    {
        for (const Card &c : cards)
            used_.insert(c.address);
        for (const DeviceRecord &r : o.records)
            used_.insert(wordOf(r.ip));
        for (const CameraReading &reading : o.readings) {
            const bootstrap::StoredConfiguration &s = reading.setup.stored;
            if (s.ipConfig.present && (s.ipConfig.value & gvcp::IpConfigPersistent) &&
                s.persistentIp.present)
                used_.insert(s.persistentIp.value);
        }
    }

    // A host address in the card's subnet that no camera heard and no card
    // uses: the first after the highest one in use there, wrapping round.
    bool freeAddress(const Card &card, quint32 &out)
    {
        const quint32 network = card.address & card.mask;
        const quint32 broadcast = network | ~card.mask;
        if (broadcast - network < 2)
            return false;
        quint32 start = card.address;
        for (quint32 a : qAsConst(used_))
            if (card.holds(a) && a > start && a < broadcast)
                start = a;
        for (quint32 k = 1; k < broadcast - network; ++k) {
            quint32 a = start + k;
            if (a >= broadcast)
                a = network + (a - broadcast) + 1;
            // 169.254.0.x and 169.254.255.x are reserved.
            if (isLinkLocal(a) && ((a >> 8 & 0xFF) == 0 || (a >> 8 & 0xFF) == 0xFF))
                continue;
            if (a == network || a == broadcast || used_.contains(a))
                continue;
            used_.insert(a);
            out = a;
            return true;
        }
        return false;
    }

private:
    QSet<quint32> used_;
};

Finding cameraFinding(Kind kind, const DeviceRecord &r, const Card *card)
{
    Finding f;
    f.kind = kind;
    f.ip = r.ipText();
    f.mac = r.macColonText();
    f.serial = DeviceRecord::fieldText(r.serialNumber);
    if (card) {
        f.card = card->name;
        f.cardAddress = card->addressText;
    }
    return f;
}

Finding cardFinding(Kind kind, const Card &card)
{
    Finding f;
    f.kind = kind;
    f.card = card.name;
    f.cardAddress = card.addressText;
    return f;
}

// The command that moves the camera to a free address in the card's subnet,
// the card as its gateway: until its next power cycle (Force IP), or stored
// (IP Config, static). When the subnet is full, what to do instead.
QString moveCommand(bool stored, const DeviceRecord &r, const Card *card, AddressBook &book)
{
    quint32 free = 0;
    if (!card || !book.freeAddress(*card, free))
        return card ? QStringLiteral("Give %1 a larger subnet: every address in it is taken")
                          .arg(card->shortName())
                    : QStringLiteral(
                          "Choose the camera in the window and use random ip and Force IP");
    return QStringLiteral("orvanta-cli %1 -c %2%3 --ip %4 --mask %5 --gateway %6")
        .arg(stored ? QStringLiteral("ip-config") : QStringLiteral("force-ip"), r.macColonText(),
             stored ? QStringLiteral(" static") : QString(), textOf(free), textOf(card->mask),
             card->addressText);
}

QString keepCommand(const DeviceRecord &r)
{
    return QStringLiteral("orvanta-cli ip-config -c %1 static --ip %2 --mask %3 --gateway %4")
        .arg(r.macColonText(), r.ipText(), r.maskText(), r.gatewayText());
}

// Does the camera move when it starts again? What it will run then, or empty
// when it stays or the registers do not say.
QString movesTo(const DeviceRecord &r, const bootstrap::StoredConfiguration &stored)
{
    if (!stored.ipConfig.present)
        return QString();
    const quint32 config = stored.ipConfig.value;
    const quint32 ip = wordOf(r.ip);
    if (config & gvcp::IpConfigPersistent) {
        if (!stored.persistentIp.present)
            return QString();
        const bool same =
            stored.persistentIp.value == ip &&
            (!stored.persistentMask.present || stored.persistentMask.value == wordOf(r.mask)) &&
            (!stored.persistentGateway.present ||
             stored.persistentGateway.value == wordOf(r.gateway));
        return same ? QString() : bootstrap::nextStartText(stored);
    }
    // Whether a DHCP server gave the address it has now cannot be told; a
    // camera that only takes link-local addresses moves unless it has one.
    if (!(config & gvcp::IpConfigDhcp) && (config & gvcp::IpConfigLla) && !isLinkLocal(ip))
        return bootstrap::nextStartText(stored);
    return QString();
}

QString kilobytes(qint64 bytes) { return QStringLiteral("%1 KB").arg((bytes + 512) / 1024); }

void pcFindings(const Observation &o, const QList<Card> &cards, QList<Finding> &out)
{
    if (o.records.isEmpty()) {
        Finding f;
        f.kind = Kind::NoCamera;
        QStringList where;
        for (const Card &c : cards)
            where << c.text();
        f.problem = where.isEmpty()
                        ? QStringLiteral("The PC has no running network card with an IPv4 address.")
                        : QStringLiteral("No camera answered the discovery on %1.")
                              .arg(where.join(QStringLiteral(", ")));
        f.fix = where.isEmpty()
                    ? QStringLiteral("Connect the cameras' network card and give it an "
                                     "IPv4 address")
                    : QStringLiteral("Check the cameras' power, cable and link LED, and "
                                     "allow UDP port 3956 in the PC's firewall");
        out.append(f);
    }

    for (int i = 0; i < cards.size(); ++i)
        for (int j = i + 1; j < cards.size(); ++j) {
            const Card &a = cards[i], &b = cards[j];
            if (a.name == b.name || !(a.holds(b.address) || b.holds(a.address)))
                continue;
            Finding f = cardFinding(Kind::CardsOneSubnet, b);
            f.problem =
                QStringLiteral("Cards %1 and %2 are in one subnet: the PC sends to it through "
                               "one of them only, so cameras on the other are not reached.")
                    .arg(a.label(), b.label());
            f.fix = QStringLiteral("Give %1 an address in a subnet of its own in the PC's network "
                                   "settings, or take it out of use")
                        .arg(b.shortName());
            out.append(f);
        }

    QHash<QString, CardFacts> facts;
    for (const CardFacts &c : o.pc.cards)
        facts.insert(c.name, c);
    QSet<QString> named;
    QHash<QString, int> heard;  // answers per card
    for (const DeviceRecord &r : o.records)
        if (const Card *c = cardOf(cards, r))
            ++heard[c->addressText];
    for (const Card &c : cards) {
        if (named.contains(c.name))
            continue;
        named.insert(c.name);
        const CardFacts card = facts.value(c.name);
        const int rp = qMax(o.pc.rpFilterAll, card.rpFilter);
        const qint64 dropped =
            qMax<qint64>(0, o.pc.reversePathDrops) + qMax<qint64>(0, o.pc.martianSources);
        if (dropped > 0 && rp > 0) {
            QStringList keys;
            if (o.pc.rpFilterAll > 0)
                keys << QStringLiteral("net.ipv4.conf.all.rp_filter=0");
            if (card.rpFilter > 0)
                keys << QStringLiteral("net.ipv4.conf.%1.rp_filter=0")
                            .arg(QString(c.name).replace(QLatin1Char('.'), QLatin1Char('/')));
            Finding f = cardFinding(Kind::ReversePathFilter, c);
            f.problem = QStringLiteral("Reverse-path filtering (rp_filter %1) on %2 dropped %3 "
                                       "packet(s) from another subnet during the discovery: "
                                       "cameras of another subnet stay hidden.")
                            .arg(rp)
                            .arg(c.text())
                            .arg(dropped);
            f.fix = QStringLiteral("sudo sysctl -w ") + keys.join(QLatin1Char(' '));
            out.append(f);
        }
        int cameras = 0;
        for (const Card &same : cards)
            if (same.name == c.name)
                cameras += heard.value(same.addressText);
        if (cameras > 0 && card.speedMbps > 0 && card.speedMbps < FullLinkSpeed) {
            Finding f = cardFinding(Kind::SlowLink, c);
            f.problem = QStringLiteral("%1 links at %2 Mb/s, below the %3 Mb/s its cameras need.")
                            .arg(QStringLiteral("Card ") + c.label())
                            .arg(card.speedMbps)
                            .arg(FullLinkSpeed);
            f.fix = QStringLiteral("Check %1's cable (Cat 5e or better) and switch port, and let "
                                   "the card negotiate its speed")
                        .arg(c.shortName());
            out.append(f);
        }
    }

    // Every card has a buffer of its own; the busiest one counts. The kernel
    // caps an unprivileged process at twice rmem_max, whoever runs this.
    if (o.pc.receiveBufferLimit <= 0)
        return;
    qint64 capacity = 2 * o.pc.receiveBufferLimit;
    if (o.pc.grantedReceiveBuffer > 0)
        capacity = qMin(capacity, o.pc.grantedReceiveBuffer);
    const Card *busiest = nullptr;
    for (const Card &c : cards)
        if (!busiest || heard.value(c.addressText) > heard.value(busiest->addressText))
            busiest = &c;
    const int answers = busiest ? heard.value(busiest->addressText) : 0;
    // Room for as many again: the answers heard may not be all there were.
    const qint64 need = 2 * answers * AnswerBufferCost;
    if (!busiest || (capacity >= need && o.pc.receiveBufferDrops <= 0))
        return;
    qint64 limit = 4 * 1024 * 1024;
    while (limit < need / 2 || (o.pc.receiveBufferDrops > 0 && limit <= o.pc.receiveBufferLimit))
        limit *= 2;
    Finding f = cardFinding(Kind::ReceiveBuffer, *busiest);
    f.problem = QStringLiteral("Discovery gets a receive buffer of %1 (net.core.rmem_max %2), but "
                               "the %3 answers heard on %4 need about %5 with room to spare: "
                               "answers are lost when many cameras reply at once.")
                    .arg(kilobytes(capacity))
                    .arg(o.pc.receiveBufferLimit)
                    .arg(answers)
                    .arg(busiest->text(), kilobytes(need));
    if (o.pc.receiveBufferDrops > 0)
        f.problem += QStringLiteral(" The kernel dropped %1 answer(s) for want of room during "
                                    "this discovery.")
                         .arg(o.pc.receiveBufferDrops);
    f.fix = QStringLiteral("sudo sysctl -w net.core.rmem_max=%1").arg(limit);
    out.append(f);
}

struct Camera {
    int record = -1;  // the one it is read through
    bool home = false;
};

// An address conflict first, then why unicast cannot work, then what the
// registers say.
void cameraFindings(const Observation &o, const QList<Card> &cards, QList<Finding> &out)
{
    // Each camera once, by MAC, through the record it is read through.
    const QVector<bool> through = readThrough(o.cards, o.records);
    QList<int> cameras;
    QHash<quint32, QList<QByteArray>> macsAt;  // address -> the MACs heard there
    for (int i = 0; i < o.records.size(); ++i) {
        if (!through.value(i))
            continue;
        cameras.append(i);
        macsAt[wordOf(o.records[i].ip)].append(macKey(o.records[i]));
    }
    std::sort(cameras.begin(), cameras.end(), [&](int a, int b) {
        const quint32 ia = wordOf(o.records[a].ip), ib = wordOf(o.records[b].ip);
        return ia != ib ? ia < ib : macKey(o.records[a]) < macKey(o.records[b]);
    });
    QHash<quint32, const Card *> cardAt;
    for (const Card &c : cards)
        cardAt.insert(c.address, &c);
    AddressBook book(cards, o);

    for (int i : qAsConst(cameras)) {
        const DeviceRecord &r = o.records[i];
        const Card *card = cardOf(cards, r);
        const quint32 ip = wordOf(r.ip);
        const CameraReading reading = o.readings.value(i);
        const QString who = cameraText(r);

        if (const Card *owner = cardAt.value(ip)) {
            Finding f = cameraFinding(Kind::CardAddress, r, card);
            f.problem = QStringLiteral("%1 uses the address of %2 of this PC: what the PC sends "
                                       "there stays in the PC.")
                            .arg(who, owner->text());
            f.fix = moveCommand(true, r, card, book);
            out.append(f);
            continue;
        }
        QList<QByteArray> sharing = macsAt.value(ip);
        std::sort(sharing.begin(), sharing.end());
        const bool sharedAddress = sharing.size() > 1;
        if (sharedAddress && sharing.first() != macKey(r)) {
            const QByteArray keeper = sharing.first();
            Finding f = cameraFinding(Kind::DuplicateAddress, r, card);
            f.problem =
                QStringLiteral("%1 uses the same address as camera %2: commands to it reach "
                               "one of the two only.")
                    .arg(who, QString::fromLatin1(keeper.toHex(':')));
            f.fix = moveCommand(true, r, card, book);
            out.append(f);
            continue;
        }

        const bool home = card && card->holds(ip);
        const quint32 config = reading.setup.stored.ipConfig.present
                                   ? reading.setup.stored.ipConfig.value
                                   : quint32(r.ipConfig);
        if ((config & gvcp::IpConfigDhcp) && !(config & gvcp::IpConfigPersistent) &&
            isLinkLocal(ip)) {
            Finding f = cameraFinding(Kind::DhcpFallback, r, card);
            f.problem =
                QStringLiteral("%1 is set to DHCP, but no DHCP server answered it, so it "
                               "fell back to link-local %2%3. Make a DHCP server answer "
                               "on its network, or store a static address.")
                    .arg(who, r.ipText(),
                         home || !card ? QString() : QStringLiteral(", outside ") + card->text());
            f.fix = moveCommand(true, r, card, book);
            out.append(f);
            continue;
        }
        if (!home) {
            Finding f = cameraFinding(Kind::OffSubnet, r, card);
            f.problem = QStringLiteral("%1 answered on %2 but is outside its subnet: only "
                                       "discovery and Force IP reach it.")
                            .arg(who, card ? card->text() : QStringLiteral("a card"));
            f.fix = moveCommand(false, r, card, book);
            out.append(f);
            continue;
        }
        // Another camera on this address may have answered the reads.
        if (sharedAddress || !reading.attempted)
            continue;
        if (!reading.answered()) {
            Finding f = cameraFinding(Kind::NoUnicastReply, r, card);
            f.problem =
                QStringLiteral("%1 answers discovery but not a register read sent to it%2.")
                    .arg(who, reading.result.kind == ExchangeResult::Kind::BadReply
                                  ? QStringLiteral(" (its replies do not match the request)")
                                  : QString());
            f.fix = QStringLiteral("Allow UDP replies from port 3956 in the PC's firewall; if it "
                                   "persists, power the camera off and on");
            out.append(f);
            continue;
        }
        if (reading.result.kind == ExchangeResult::Kind::CameraStatus &&
            reading.result.status == gvcp::StatusAccessDenied) {
            Finding f = cameraFinding(Kind::Controlled, r, card);
            f.problem =
                QStringLiteral("%1 is held with exclusive access by another application: it "
                               "refuses even reads.")
                    .arg(who);
            f.fix = QStringLiteral("Close the application that holds it, or wait for its "
                                   "heartbeat to run out");
            out.append(f);
            continue;
        }
        if (reading.holder.state == control::Holder::State::Held) {
            const QString at = reading.holder.addressText();
            Finding f = cameraFinding(Kind::Controlled, r, card);
            f.problem =
                QStringLiteral("%1 is controlled by another application%2: nothing can be written "
                               "to it until that application lets go.")
                    .arg(who, at.isEmpty() ? QStringLiteral(" (the camera does not say which)")
                                           : QStringLiteral(" at ") + at);
            f.fix = at.isEmpty() ? QStringLiteral("Close the application that holds it")
                                 : QStringLiteral("Close the application on %1 that holds it")
                                       .arg(at.section(QLatin1Char(','), 0, 0));
            out.append(f);
        }
        const QString next = movesTo(r, reading.setup.stored);
        if (!next.isEmpty()) {
            Finding f = cameraFinding(Kind::MovesAtPowerCycle, r, card);
            f.problem = QStringLiteral("%1 runs %2 now, but after a power cycle: %3.")
                            .arg(who, addressesText(ip, wordOf(r.mask), wordOf(r.gateway)), next);
            f.fix = keepCommand(r);
            out.append(f);
        }
        const bootstrap::Register &speed = reading.setup.linkSpeed;
        if (speed.present && speed.value > 0 && speed.value < quint32(FullLinkSpeed)) {
            Finding f = cameraFinding(Kind::SlowLink, r, card);
            f.problem = QStringLiteral("%1 links at %2 Mb/s, below %3 Mb/s.")
                            .arg(who)
                            .arg(speed.value)
                            .arg(FullLinkSpeed);
            f.fix =
                QStringLiteral("Check the camera's cable (Cat 5e or better, all eight wires) and "
                               "its switch port");
            out.append(f);
        }
    }
}

}  // namespace

QVector<bool> readThrough(const QList<LocalAddress> &local, const QList<DeviceRecord> &records)
{
    const QList<Card> cards = cardsOf(local);
    QHash<QByteArray, Camera> cameras;
    for (int i = 0; i < records.size(); ++i) {
        const Card *card = cardOf(cards, records[i]);
        const bool home = card && card->holds(wordOf(records[i].ip));
        Camera &c = cameras[macKey(records[i])];
        if (c.record < 0 || (home && !c.home))
            c = Camera{i, home};
    }
    QVector<bool> through(records.size(), false);
    for (const Camera &c : qAsConst(cameras))
        through[c.record] = true;
    return through;
}

QVector<CameraReading> readCameras(const QList<DeviceRecord> &records, const QVector<bool> &wanted,
                                   int parallel)
{
    std::vector<CameraReading> readings(size_t(records.size()));
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < records.size(); i = next++) {
            if (!wanted.isEmpty() && !wanted.value(i))
                continue;
            CameraReading &r = readings[size_t(i)];
            CameraChannel channel(records[i]);
            r.attempted = true;
            r.result = bootstrap::readCameraSetup(channel, r.setup);
            // Under exclusive access even reads are refused.
            if (r.result.ok() || (r.result.kind == ExchangeResult::Kind::CameraStatus &&
                                  r.result.status != gvcp::StatusAccessDenied))
                r.holder = control::readHolder(channel);
        }
    };
    std::vector<std::thread> workers;
    const int count = qBound(1, qMin(parallel, int(records.size())), 256);
    for (int k = 1; k < count; ++k)
        workers.emplace_back(work);
    work();
    for (std::thread &t : workers)
        t.join();
    return QVector<CameraReading>(readings.begin(), readings.end());
}

bool observe(DeviceLink &scope, Observation &out)
{
    out = Observation();
    const pcfacts::Counters before = pcfacts::readCounters();
    if (!scope.discover(true))
        return false;
    const pcfacts::Counters after = pcfacts::readCounters();
    out.cards = scope.localAddresses();
    out.records = scope.devices();
    // A camera outside every card's subnet, or on a card's address, cannot
    // be reached by unicast: it is not asked.
    QVector<bool> wanted = readThrough(out.cards, out.records);
    const QList<Card> cards = cardsOf(out.cards);
    for (int i = 0; i < wanted.size(); ++i) {
        const quint32 ip = wordOf(out.records[i].ip);
        const Card *card = cardOf(cards, out.records[i]);
        for (const Card &c : cards)
            wanted[i] = wanted[i] && c.address != ip;
        wanted[i] = wanted[i] && card && card->holds(ip);
    }
    out.readings = readCameras(out.records, wanted);

    auto grown = [](qint64 from, qint64 to) { return from >= 0 && to >= from ? to - from : -1; };
    out.pc.reversePathDrops = grown(before.reversePathDrops, after.reversePathDrops);
    out.pc.martianSources = grown(before.martianSources, after.martianSources);
    out.pc.receiveBufferDrops = grown(before.receiveBufferDrops, after.receiveBufferDrops);
    out.pc.receiveBufferLimit = pcfacts::receiveBufferLimit();
    out.pc.grantedReceiveBuffer = discoveryReceiveBuffer();
    out.pc.rpFilterAll = pcfacts::reversePathFilter(QString());
    QSet<QString> seen;
    for (const LocalAddress &a : qAsConst(out.cards)) {
        if (seen.contains(a.interfaceName))
            continue;
        seen.insert(a.interfaceName);
        out.pc.cards.append({a.interfaceName, pcfacts::linkSpeedMbps(a.interfaceName),
                             pcfacts::reversePathFilter(a.interfaceName)});
    }
    return true;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::NoCamera: return QStringLiteral("no-camera");
    case Kind::CardsOneSubnet: return QStringLiteral("cards-one-subnet");
    case Kind::ReversePathFilter: return QStringLiteral("reverse-path-filter");
    case Kind::ReceiveBuffer: return QStringLiteral("receive-buffer");
    case Kind::SlowLink: return QStringLiteral("slow-link");
    case Kind::OffSubnet: return QStringLiteral("off-subnet");
    case Kind::DuplicateAddress: return QStringLiteral("duplicate-address");
    case Kind::CardAddress: return QStringLiteral("card-address");
    case Kind::DhcpFallback: return QStringLiteral("dhcp-fallback");
    case Kind::NoUnicastReply: return QStringLiteral("no-unicast-reply");
    case Kind::Controlled: return QStringLiteral("controlled");
    case Kind::MovesAtPowerCycle: return QStringLiteral("moves-at-power-cycle");
    }
    return QString();
}

QString lineOf(const Finding &f)
{
    return QStringLiteral("%1: %2 Fix: %3").arg(kindName(f.kind), f.problem, f.fix);
}

QList<Finding> findings(const Observation &o)
{
    const QList<Card> cards = cardsOf(o.cards);
    QList<Finding> out;
    pcFindings(o, cards, out);
    cameraFindings(o, cards, out);
    return out;
}

QString reportText(const QList<Finding> &found, const Observation &o)
{
    if (found.isEmpty()) {
        QSet<QByteArray> macs;
        for (const DeviceRecord &r : o.records)
            macs.insert(macKey(r));
        QSet<QString> cards;
        for (const LocalAddress &a : o.cards)
            cards.insert(a.interfaceName + QLatin1Char('/') + a.address);
        return QStringLiteral("No problem found (%1 camera(s) on %2 card(s)).")
            .arg(macs.size())
            .arg(cards.size());
    }
    QStringList lines;
    for (const Finding &f : found)
        lines << lineOf(f);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace doctor
