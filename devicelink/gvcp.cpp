#include "gvcp.h"

#include "devicerecord.h"

#include <cstring>

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
quint32 get32(const quint8 *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

void putHeader(quint8 *buffer, quint8 flags, quint16 command, quint16 length, quint16 requestId)
{
    buffer[KeyOffset] = Key;
    buffer[FlagsOffset] = flags;
    put16(buffer + CommandOffset, command);
    put16(buffer + LengthOffset, length);
    put16(buffer + RequestIdOffset, requestId);
}

// Bytes [offset, offset + width) of a datagram of `length` bytes; what lies
// beyond the datagram reads as zeros.
void copyField(void *destination, const quint8 *data, int length, int offset, int width)
{
    std::memset(destination, 0, size_t(width));
    const int available = qBound(0, length - offset, width);
    if (available > 0)
        std::memcpy(destination, data + offset, size_t(available));
}

void copyText(char *destination, const quint8 *data, int length, int offset, int width)
{
    copyField(destination, data, length, offset, width);
    destination[width] = '\0';  // a field filling its width is still a complete string
}

}  // namespace

quint16 requestIdAfter(quint16 id) { return id == 0xFFFF ? quint16(1) : quint16(id + 1); }

int fillGvcpCommand(quint8 *buffer, quint16 requestId, quint16 command, quint32 word0,
                    quint32 word1, quint32 word2, quint32 word3)
{
    putHeader(buffer, FlagAckRequiredBroadcast, command, 8, requestId);
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

int buildReadRegs(quint8 *buffer, quint16 requestId, const quint32 *addresses, int count)
{
    count = qBound(0, count, MaxReadRegAddresses);
    putHeader(buffer, FlagAckRequired, ReadRegCmd, quint16(4 * count), requestId);
    for (int i = 0; i < count; ++i)
        put32(buffer + ReadRegAddressOffset + 4 * i, addresses[i]);
    return HeaderSize + 4 * count;
}

int buildWriteReg(quint8 *buffer, quint16 requestId, quint32 address, quint32 value)
{
    putHeader(buffer, FlagAckRequired, WriteRegCmd, 8, requestId);
    put32(buffer + WriteRegAddressOffset, address);
    put32(buffer + WriteRegValueOffset, value);
    return WriteRegCmdSize;
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
    copyField(record.mac, data, length, AckMacOffset, 6);
    qint8 config = 0;
    copyField(&config, data, length, AckIpConfigOffset, 1);
    record.ipConfig = qint32(config);
    copyField(record.ip, data, length, AckIpOffset, 4);
    copyField(record.mask, data, length, AckMaskOffset, 4);
    copyField(record.gateway, data, length, AckGatewayOffset, 4);
    copyText(record.manufacturerName, data, length, AckManufacturerOffset, LongTextWidth);
    copyText(record.modelName, data, length, AckModelOffset, LongTextWidth);
    copyText(record.deviceVersion, data, length, AckVersionOffset, LongTextWidth);
    copyText(record.serialNumber, data, length, AckSerialOffset, ShortTextWidth);
    copyText(record.userDefinedName, data, length, AckUserNameOffset, ShortTextWidth);
    return true;
}

bool isReadRegReply(const quint8 *data, int length, quint16 requestId, quint32 &value)
{
    if (!data || length < HeaderSize || ackRequestId(data, length) != requestId)
        return false;
    value = readRegValue(data, length, 0);
    return true;
}

quint32 readRegValue(const quint8 *data, int length, int index)
{
    if (!data || index < 0)
        return 0;
    quint8 bytes[4];
    copyField(bytes, data, length, ReadRegValueOffset + 4 * index, 4);
    return get32(bytes);
}

bool isWriteRegAck(const quint8 *data, int length)
{
    return data && length >= 4 && ackStatus(data, length) == 0 &&
           ackCode(data, length) == WriteRegAck;
}

bool isPendingAck(const quint8 *data, int length, quint16 requestId, int &ms)
{
    if (!data || length < PendingTimeoutOffset + 2 || ackCode(data, length) != PendingAck ||
        ackRequestId(data, length) != requestId)
        return false;
    ms = get16(data + PendingTimeoutOffset);
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
