// parseDiscoveryAck on arbitrary datagrams, exactly as long as they came (the
// sanitizers catch a read past the end): every text stays terminated inside
// its field, and the device list label keeps only letters and digits of the
// serial number.
#include "devicerecord.h"
#include "gvcp.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A copy of the datagram's own size, so nothing past it is addressable.
    std::unique_ptr<quint8[]> datagram(new quint8[size ? size : 1]);
    const std::size_t length = size < 1024 ? size : 1024;
    if (length)
        std::memcpy(datagram.get(), data, length);
    DeviceRecord r;
    if (!gvcp::parseDiscoveryAck(datagram.get(), int(length), r))
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
