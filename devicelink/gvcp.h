// GVCP wire format: every offset a named constant, pure builders and parsers
// over caller-supplied zero-filled buffers, and the two request-id counters.
#pragma once

#include <QtGlobal>

struct DeviceRecord;

namespace gvcp {

constexpr quint16 Port = 3956;

// Command header
constexpr int HeaderSize = 8;
constexpr int KeyOffset = 0;
constexpr int FlagsOffset = 1;
constexpr int CommandOffset = 2;
constexpr int LengthOffset = 4;
constexpr int RequestIdOffset = 6;
constexpr quint8 Key = 0x42;
constexpr quint8 FlagAckRequired = 0x01;
constexpr quint8 FlagAckRequiredBroadcast = 0x11;

// Acknowledge header
constexpr int AckStatusOffset = 0;
constexpr int AckCodeOffset = 2;
constexpr int AckLengthOffset = 4;
constexpr int AckRequestIdOffset = 6;

// Command and acknowledge codes
constexpr quint16 DiscoveryCmd = 0x0002;
constexpr quint16 ForceIpCmd = 0x0004;
constexpr quint16 ReadRegCmd = 0x0080;
constexpr quint16 ReadMemCmd = 0x0084;
constexpr quint16 ReadMemAck = 0x0085;
constexpr quint16 IpConfigCmd = 0x8004;  // device-specific
constexpr quint16 DevWriteCmd = 0xFFF0;  // device-specific
constexpr quint16 DevWriteAck = 0x8005;  // device-specific

// Datagram sizes and the fixed buffers they are assembled in
constexpr int DiscoveryCmdSize = 16;
constexpr int ForceIpCmdSize = 64;
constexpr int IpConfigCmdSize = 84;
constexpr int ReadRegCmdSize = 12;
constexpr int ReadMemCmdSize = 16;
constexpr int DevWriteWordCmdSize = 16;
constexpr int SmallCommandBuffer = 512;   // READREG, FORCEIP, IPCONFIG
constexpr int LargeCommandBuffer = 1024;  // READMEM, DEVWRITE
constexpr int DevWriteDataOffset = 12;
constexpr int DevWriteMaxData = LargeCommandBuffer - DevWriteDataOffset;  // 1012
constexpr int ReplyBuffer = 512;
constexpr int DiscoveryReceiveBuffer = 1024;

// Fixed request ids of the IP commands
constexpr quint16 ForceIpRequestId = 0x0001;
constexpr quint16 IpConfigRequestId = 0xFFFF;

// DISCOVERY_ACK fields (offsets from the start of the datagram)
constexpr int DiscoveryAckMinLength = 0x00F8;  // length field must be at least this
constexpr int DiscoveryAckParseSize = 256;     // parser reads this many bytes of the buffer
constexpr int AckMacOffset = 18;
constexpr int AckIpConfigOffset = 31;
constexpr int AckIpOffset = 44;
constexpr int AckMaskOffset = 60;
constexpr int AckGatewayOffset = 76;
constexpr int AckManufacturerOffset = 80;
constexpr int AckModelOffset = 112;
constexpr int AckVersionOffset = 144;
constexpr int AckSerialOffset = 224;
constexpr int AckUserNameOffset = 240;
constexpr int LongTextWidth = 32;
constexpr int ShortTextWidth = 16;

// FORCEIP_CMD
constexpr int ForceIpMacOffset = 10;
constexpr int ForceIpIpOffset = 28;
constexpr int ForceIpMaskOffset = 44;
constexpr int ForceIpGatewayOffset = 60;

// IPCONFIG_CMD
constexpr int IpConfigMacOffset = 10;
constexpr int IpConfigByteOffset = 19;
constexpr int IpConfigIpOffset = 32;
constexpr int IpConfigMaskOffset = 48;
constexpr int IpConfigGatewayOffset = 64;

// READREG / READMEM / DEVWRITE
constexpr int ReadRegAddressOffset = 8;
constexpr int ReadRegValueOffset = 8;  // in the reply
constexpr int ReadMemAddressOffset = 8;
constexpr int ReadMemCountOffset = 12;
constexpr int ReadMemDataOffset = 12;  // in the reply
constexpr int DevWriteShortAddressOffset = 10;
constexpr int DevWriteWordAddressOffset = 8;
constexpr int DevWriteWordValueOffset = 12;

// IP configuration bits
constexpr int IpConfigPersistent = 0x01;
constexpr int IpConfigDhcp = 0x02;
constexpr int IpConfigLla = 0x04;

// Request-id counters. gvcpReqId starts from rand() on first use; accessReqId
// runs 1..0xFFFF and wraps to 1, never 0.
quint16 nextGvcpReqId();
quint16 nextAccessReqId();
void resetAccessReqIdForTest(quint32 value);

// Builders: each writes into a zero-filled buffer of at least the stated
// size and returns the number of bytes to send.
int fillGvcpCommand(quint8 *buffer, quint16 command, quint32 word0, quint32 word1, quint32 word2,
                    quint32 word3);
int buildReadReg(quint8 *buffer, quint16 requestId, quint32 address);
int buildReadMem(quint8 *buffer, quint16 requestId, quint32 address, quint32 count);
// Data form; length and paddedLength at most DevWriteMaxData (clamped).
int buildDevWriteData(quint8 *buffer, quint16 requestId, quint16 address, const quint8 *data,
                      int length, int paddedLength);
int buildDevWriteWord(quint8 *buffer, quint16 requestId, quint32 address, quint32 value);
int buildForceIp(quint8 *buffer, const quint8 mac[6], const quint8 ip[4], const quint8 mask[4],
                 const quint8 gateway[4]);
int buildIpConfig(quint8 *buffer, const quint8 mac[6], int config, const quint8 ip[4],
                  const quint8 mask[4], const quint8 gateway[4]);

// Parsers take the buffer and the received length.
quint16 ackStatus(const quint8 *data, int length);
quint16 ackCode(const quint8 *data, int length);
quint16 ackRequestId(const quint8 *data, int length);
// The DISCOVERY_ACK test and field copy. `data` must hold at least
// DiscoveryAckParseSize bytes (the receive buffer), whatever `length` says.
bool parseDiscoveryAck(const quint8 *data, int length, DeviceRecord &record);
bool isReadRegReply(const quint8 *data, int length, quint16 requestId, quint32 &value);
bool isReadMemAck(const quint8 *data, int length);
bool isDevWriteAck(const quint8 *data, int length);

}  // namespace gvcp
