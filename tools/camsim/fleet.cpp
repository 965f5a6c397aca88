#include "fleet.h"
#include "wire.h"

#include <cstdio>

namespace camsim {

namespace {

std::string withSuffix(const std::string &base, int number)
{
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "-%03d", number);
    const std::string s(suffix);
    return base.substr(0, DiscTextSize - s.size()) + s;
}

}  // namespace

Identity fleetMember(const Identity &first, int index)
{
    Identity id = first;
    id.ip[3] = uint8_t(first.ip[3] + index);  // the caller keeps the fleet inside .1-.254
    uint32_t low = uint32_t(first.mac[3]) << 16 | uint32_t(first.mac[4]) << 8 | first.mac[5];
    low = (low + uint32_t(index)) & 0xFFFFFF;
    id.mac[3] = uint8_t(low >> 16);
    id.mac[4] = uint8_t(low >> 8);
    id.mac[5] = uint8_t(low);
    id.serial = withSuffix(first.serial, index + 1);
    id.userName = withSuffix(first.userName, index + 1);
    return id;
}

std::vector<Camera> makeFleet(const Identity &first, const Faults &faults, int count)
{
    std::vector<Camera> cameras;
    cameras.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        Faults own = faults;
        own.seed = faults.seed + uint32_t(i);
        cameras.emplace_back(fleetMember(first, i), own);
    }
    return cameras;
}

std::vector<size_t> fleetRecipients(const std::vector<Camera> &cameras, const uint8_t *d, size_t n,
                                    const Ip4 &to)
{
    std::vector<size_t> chosen;
    const bool command = n >= HeaderSize && d[CmdKey] == KeyByte;
    const uint16_t code = command ? uint16_t(d[CmdCode] << 8 | d[CmdCode + 1]) : 0;
    const bool everyone =
        command && (code == CmdDiscovery || code == CmdForceIp || code == CmdIpConfig);
    for (size_t i = 0; i < cameras.size(); ++i)
        if (everyone || cameras[i].currentIp() == to)
            chosen.push_back(i);
    return chosen;
}

}  // namespace camsim
