// parseDiscoveryAck on arbitrary datagrams, as the 1,024-byte receive buffer
// holds them: every text stays terminated inside its field, and the device
// list label keeps only letters and digits of the serial number.
#include "devicerecord.h"
#include "gvcp.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    quint8 buffer[1024] = {};
    const std::size_t length = size < sizeof buffer ? size : sizeof buffer;
    if (length)
        std::memcpy(buffer, data, length);
    DeviceRecord r;
    if (!gvcp::parseDiscoveryAck(buffer, int(length), r))
        return 0;
    for (const char *text : {r.manufacturerName, r.modelName, r.deviceVersion})
        if (!std::memchr(text, 0, 33))
            __builtin_trap();
    if (!std::memchr(r.serialNumber, 0, 17) || !std::memchr(r.userDefinedName, 0, 17))
        __builtin_trap();
    for (QChar c : r.comboText().mid(r.ipText().size() + 1))
        if (!(c.isDigit() || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            __builtin_trap();
    return 0;
}

#ifdef ORVANTA_FUZZ_REPLAY
#include "fuzzreplay.h"
#endif
