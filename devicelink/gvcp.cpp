#include "gvcp.h"

#include "devicerecord.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace gvcp {

namespace {

void put16(quint8 *p, quint32 v)
{
    p[0] = quint8(v >> 8);
    p[1] = quint8(v);
}

void put32(quint8 *p, quint32 v)
{
    p[0] = quint8(v >> 24);
    p[1] = quint8(v >> 16);
    p[2] = quint8(v >> 8);
    p[3] = quint8(v);
}

quint16 get16(const quint8 *p) { return quint16((p[0] << 8) | p[1]); }

void putHeader(quint8 *buffer, quint8 flags, quint16 command, quint16 length, quint16 requestId)
{
    buffer[KeyOffset] = Key;
    buffer[FlagsOffset] = flags;
    put16(buffer + CommandOffset, command);
    put16(buffer + LengthOffset, length);
    put16(buffer + RequestIdOffset, requestId);
}

void copyText(char *destination, const quint8 *source, int width)
{
    std::memcpy(destination, source, size_t(width));
    destination[width] = '\0';  // a field filling its width is still a complete string
}

std::once_flag gvcpStart;
std::atomic<quint32> gvcpCounter{0};
std::atomic<quint32> accessCounter{0};

}  // namespace

quint16 nextGvcpReqId()
{
    // Seeded by the application at start-up (srand), drawn on first use.
    std::call_once(gvcpStart, [] { gvcpCounter = quint32(std::rand()); });
    return quint16(gvcpCounter.fetch_add(1));
}

quint16 nextAccessReqId()
{
    quint32 current = accessCounter.load();
    quint32 next;
    do {
        next = current + 1;
        if (next >= 0x10000)
            next = 1;  // 0 is never sent
    } while (!accessCounter.compare_exchange_weak(current, next));
    return quint16(next);
}

void resetAccessReqIdForTest(quint32 value) { accessCounter = value; }

int fillGvcpCommand(quint8 *buffer, quint16 command, quint32 word0, quint32 word1, quint32 word2,
                    quint32 word3)
{
    putHeader(buffer, FlagAckRequiredBroadcast, command, 8, nextGvcpReqId());
    put16(buffer + 8, word0 & 0xFFFF);
    put16(buffer + 10, word1 & 0xFFFF);
    put16(buffer + 12, word2 & 0xFFFF);
    put16(buffer + 14, word3 & 0xFFFF);
    return DiscoveryCmdSize;
}

int buildReadReg(quint8 *buffer, quint16 requestId, quint32 address)
{
    putHeader(buffer, FlagAckRequired, ReadRegCmd, 4, requestId);
    put32(buffer + ReadRegAddressOffset, address);
    return ReadRegCmdSize;
}

int buildReadMem(quint8 *buffer, quint16 requestId, quint32 address, quint32 count)
{
    putHeader(buffer, FlagAckRequiredBroadcast, ReadMemCmd, 8, requestId);
    put32(buffer + ReadMemAddressOffset, address);
    put32(buffer + ReadMemCountOffset, count);
    return ReadMemCmdSize;
}

int buildDevWriteData(quint8 *buffer, quint16 requestId, quint16 address, const quint8 *data,
                      int length, int paddedLength)
{
    if (paddedLength < 0)
        paddedLength = 0;
    if (paddedLength > DevWriteMaxData)
        paddedLength = DevWriteMaxData;
    if (length < 0 || !data)
        length = 0;
    const int copied = length < paddedLength ? length : paddedLength;
    putHeader(buffer, FlagAckRequiredBroadcast, DevWriteCmd, quint16(paddedLength + 4), requestId);
    buffer[8] = 0;
    buffer[9] = 0;
    put16(buffer + DevWriteShortAddressOffset, address);
    if (copied > 0)
        std::memcpy(buffer + DevWriteDataOffset, data, size_t(copied));
    if (paddedLength > copied)
        std::memset(buffer + DevWriteDataOffset + copied, 0, size_t(paddedLength - copied));
    return DevWriteDataOffset + paddedLength;
}

int buildDevWriteWord(quint8 *buffer, quint16 requestId, quint32 address, quint32 value)
{
    putHeader(buffer, FlagAckRequiredBroadcast, DevWriteCmd, 8, requestId);
    put32(buffer + DevWriteWordAddressOffset, address);
    put32(buffer + DevWriteWordValueOffset, value);
    return DevWriteWordCmdSize;
}

int buildForceIp(quint8 *buffer, const quint8 mac[6], const quint8 ip[4], const quint8 mask[4],
                 const quint8 gateway[4])
{
    putHeader(buffer, FlagAckRequired, ForceIpCmd, ForceIpCmdSize - HeaderSize, ForceIpRequestId);
    std::memcpy(buffer + ForceIpMacOffset, mac, 6);
    std::memcpy(buffer + ForceIpIpOffset, ip, 4);
    std::memcpy(buffer + ForceIpMaskOffset, mask, 4);
    std::memcpy(buffer + ForceIpGatewayOffset, gateway, 4);
    return ForceIpCmdSize;
}

int buildIpConfig(quint8 *buffer, const quint8 mac[6], int config, const quint8 ip[4],
                  const quint8 mask[4], const quint8 gateway[4])
{
    putHeader(buffer, FlagAckRequiredBroadcast, IpConfigCmd, IpConfigCmdSize - HeaderSize,
              IpConfigRequestId);
    std::memcpy(buffer + IpConfigMacOffset, mac, 6);
    buffer[IpConfigByteOffset - 3] = 0;
    buffer[IpConfigByteOffset - 2] = 0;
    buffer[IpConfigByteOffset - 1] = 0;
    buffer[IpConfigByteOffset] = quint8(config & 0xFF);
    std::memcpy(buffer + IpConfigIpOffset, ip, 4);
    std::memcpy(buffer + IpConfigMaskOffset, mask, 4);
    std::memcpy(buffer + IpConfigGatewayOffset, gateway, 4);
    return IpConfigCmdSize;
}

// A datagram too short to carry a field never passes a test on it: status
// reads as "not success", code and request id as 0 (an id never sent).
quint16 ackStatus(const quint8 *data, int length)
{
    return length >= AckStatusOffset + 2 ? get16(data + AckStatusOffset) : quint16(0xFFFF);
}

quint16 ackCode(const quint8 *data, int length)
{
    return length >= AckCodeOffset + 2 ? get16(data + AckCodeOffset) : quint16(0);
}

quint16 ackRequestId(const quint8 *data, int length)
{
    return length >= AckRequestIdOffset + 2 ? get16(data + AckRequestIdOffset) : quint16(0);
}

bool parseDiscoveryAck(const quint8 *data, int length, DeviceRecord &record)
{
    if (!data || length < HeaderSize)
        return false;
    if (get16(data + AckLengthOffset) < DiscoveryAckMinLength)
        return false;
    std::memcpy(record.mac, data + AckMacOffset, 6);
    record.ipConfig = qint32(qint8(data[AckIpConfigOffset]));
    std::memcpy(record.ip, data + AckIpOffset, 4);
    std::memcpy(record.mask, data + AckMaskOffset, 4);
    std::memcpy(record.gateway, data + AckGatewayOffset, 4);
    copyText(record.manufacturerName, data + AckManufacturerOffset, LongTextWidth);
    copyText(record.modelName, data + AckModelOffset, LongTextWidth);
    copyText(record.deviceVersion, data + AckVersionOffset, LongTextWidth);
    copyText(record.serialNumber, data + AckSerialOffset, ShortTextWidth);
    copyText(record.userDefinedName, data + AckUserNameOffset, ShortTextWidth);
    return true;
}

bool isReadRegReply(const quint8 *data, int length, quint16 requestId, quint32 &value)
{
    if (!data || length < HeaderSize || ackRequestId(data, length) != requestId)
        return false;
    quint32 v = 0;
    for (int i = 0; i < 4; ++i) {
        const int at = ReadRegValueOffset + i;
        v = (v << 8) | (at < length ? data[at] : 0u);
    }
    value = v;
    return true;
}

bool isReadMemAck(const quint8 *data, int length)
{
    return data && length >= 4 && ackStatus(data, length) == 0 &&
           ackCode(data, length) == ReadMemAck;
}

bool isDevWriteAck(const quint8 *data, int length)
{
    return data && length >= 4 && ackStatus(data, length) == 0 &&
           ackCode(data, length) == DevWriteAck;
}

}  // namespace gvcp
