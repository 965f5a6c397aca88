// GVCP wire format: every offset a named constant, and pure builders and
// parsers over caller-supplied zero-filled buffers. Request ids are the
// caller's: a channel draws its own, discovery draws one per collection.
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
constexpr quint16 ReadRegAck = 0x0081;
constexpr quint16 WriteRegCmd = 0x0082;
constexpr quint16 WriteRegAck = 0x0083;
constexpr quint16 PendingAck = 0x0089;
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
constexpr int WriteRegCmdSize = 16;
constexpr int MaxReadRegAddresses = 135;  // 540 payload bytes, the standard's limit
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
constexpr int ReadRegValueOffset = 8;  // in the reply, one 32-bit value per address
constexpr int WriteRegAddressOffset = 8;
constexpr int WriteRegValueOffset = 12;
constexpr int WriteRegIndexOffset = 10;   // in the acknowledge: index of the last pair written
constexpr int PendingTimeoutOffset = 10;  // in PENDING_ACK: milliseconds still needed
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

// Bootstrap registers (byte addresses; 32-bit big-endian values).
namespace reg {
constexpr quint32 Version = 0x0000;
constexpr quint32 SupportedIpConfig = 0x0010;
constexpr quint32 CurrentIpConfig = 0x0014;  // what the camera uses at its next start
constexpr quint32 CurrentIp = 0x0024;
constexpr quint32 CurrentMask = 0x0034;
constexpr quint32 CurrentGateway = 0x0044;
constexpr quint32 NetworkInterfaces = 0x0600;
constexpr quint32 PersistentIp = 0x064C;
constexpr quint32 PersistentMask = 0x065C;
constexpr quint32 PersistentGateway = 0x066C;
constexpr quint32 LinkSpeed = 0x0670;  // Mb/s, where the capability says it exists
constexpr quint32 GvcpCapability = 0x0934;
constexpr quint32 HeartbeatTimeout = 0x0938;  // ms
constexpr quint32 ControlPrivilege = 0x0A00;
constexpr quint32 PrimaryPort = 0x0A04;
constexpr quint32 PrimaryAddress = 0x0A14;

// GVCP capability bits
constexpr quint32 CapUserName = 0x80000000;
constexpr quint32 CapSerialNumber = 0x40000000;
constexpr quint32 CapHeartbeatDisable = 0x20000000;
constexpr quint32 CapLinkSpeed = 0x10000000;
constexpr quint32 CapPrimaryApplication = 0x08000000;  // primary port and address registers
constexpr quint32 CapPendingAck = 0x00000020;

// Control channel privilege bits
constexpr quint32 ExclusiveAccess = 0x1;
constexpr quint32 ControlAccess = 0x2;
constexpr quint32 SwitchoverEnabled = 0x4;
}  // namespace reg

// Acknowledge status codes the tool acts on
constexpr quint16 StatusNotImplemented = 0x8001;
constexpr quint16 StatusInvalidAddress = 0x8003;
constexpr quint16 StatusAccessDenied = 0x8006;
constexpr quint16 StatusBusy = 0x8007;

// Access request ids run 1..0xFFFF and wrap to 1: 0 is never sent.
quint16 requestIdAfter(quint16 id);

// Builders: each writes into a zero-filled buffer of at least the stated
// size and returns the number of bytes to send.
int fillGvcpCommand(quint8 *buffer, quint16 requestId, quint16 command, quint32 word0,
                    quint32 word1, quint32 word2, quint32 word3);
int buildReadReg(quint8 *buffer, quint16 requestId, quint32 address);
// Several registers in one READREG; at most MaxReadRegAddresses (clamped).
int buildReadRegs(quint8 *buffer, quint16 requestId, const quint32 *addresses, int count);
int buildWriteReg(quint8 *buffer, quint16 requestId, quint32 address, quint32 value);
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
// The DISCOVERY_ACK test and field copy. Only `length` bytes are read; a
// field beyond them reads as zeros.
bool parseDiscoveryAck(const quint8 *data, int length, DeviceRecord &record);
bool isReadRegReply(const quint8 *data, int length, quint16 requestId, quint32 &value);
// The value of the `index`-th address of a READREG reply (zero when the
// reply is too short to carry it).
quint32 readRegValue(const quint8 *data, int length, int index);
bool isWriteRegAck(const quint8 *data, int length);
// A PENDING_ACK for `requestId`: the camera needs `ms` more for the answer.
bool isPendingAck(const quint8 *data, int length, quint16 requestId, int &ms);
bool isReadMemAck(const quint8 *data, int length);
bool isDevWriteAck(const quint8 *data, int length);

}  // namespace gvcp
