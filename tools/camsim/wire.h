// GVCP as the simulated camera reads and writes it: every offset it uses,
// written down here on its own rather than taken from the tool's headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camsim {

// Command header, as a camera reads it.
constexpr size_t CmdKey = 0;
constexpr size_t CmdFlags = 1;
constexpr size_t CmdCode = 2;
constexpr size_t CmdLength = 4;
constexpr size_t CmdReqId = 6;
constexpr size_t HeaderSize = 8;
constexpr uint8_t KeyByte = 0x42;
constexpr uint8_t FlagAckRequired = 0x01;

// Acknowledge header, as a camera writes it.
constexpr size_t AckStatus = 0;
constexpr size_t AckCode = 2;
constexpr size_t AckLength = 4;
constexpr size_t AckReqId = 6;

constexpr uint16_t CmdDiscovery = 0x0002;
constexpr uint16_t AckDiscovery = 0x0003;
constexpr uint16_t CmdForceIp = 0x0004;
constexpr uint16_t AckForceIp = 0x0005;
constexpr uint16_t CmdReadReg = 0x0080;
constexpr uint16_t AckReadReg = 0x0081;
constexpr uint16_t CmdWriteReg = 0x0082;
constexpr uint16_t AckWriteReg = 0x0083;
constexpr uint16_t CmdReadMem = 0x0084;
constexpr uint16_t AckReadMem = 0x0085;
constexpr uint16_t CmdIpConfig = 0x8004;
constexpr uint16_t CmdDevWrite = 0xFFF0;
constexpr uint16_t AckDevice = 0x8005;  // both device-specific commands

constexpr uint16_t StatusOk = 0x0000;
constexpr uint16_t StatusNotImplemented = 0x8001;
constexpr uint16_t StatusInvalidParameter = 0x8002;
constexpr uint16_t StatusInvalidAddress = 0x8003;
constexpr uint16_t StatusWriteProtect = 0x8004;
constexpr uint16_t StatusAccessDenied = 0x8006;
constexpr uint16_t StatusBusy = 0x8007;

// DISCOVERY_ACK: 256 bytes, length field 248.
constexpr size_t DiscAckSize = 256;
constexpr size_t DiscSpecMajor = 8;
constexpr size_t DiscSpecMinor = 10;
constexpr size_t DiscDeviceMode = 12;
constexpr size_t DiscMac = 18;
constexpr size_t DiscIpOptions = 24;
constexpr size_t DiscIpCurrent = 28;  // configuration byte at 31
constexpr size_t DiscIp = 44;
constexpr size_t DiscMask = 60;
constexpr size_t DiscGateway = 76;
constexpr size_t DiscManufacturer = 80;
constexpr size_t DiscModel = 112;
constexpr size_t DiscVersion = 144;
constexpr size_t DiscInfo = 176;
constexpr size_t DiscSerial = 224;
constexpr size_t DiscUserName = 240;
constexpr size_t DiscTextSize = 16;  // serial and user name

// FORCEIP: 64 bytes.
constexpr size_t ForceIpSize = 64;
constexpr size_t ForceMac = 10;
constexpr size_t ForceIp = 28;
constexpr size_t ForceMask = 44;
constexpr size_t ForceGateway = 60;

// IPCONFIG: 84 bytes, FORCEIP with a configuration word after the MAC.
constexpr size_t IpConfigSize = 84;
constexpr size_t CfgMac = 10;
constexpr size_t CfgByte = 19;
constexpr size_t CfgIp = 32;
constexpr size_t CfgMask = 48;
constexpr size_t CfgGateway = 64;

// READMEM: address at 8, count at 12 (32 bits; the standard's 16-bit count
// sits in its low half). DEVWRITE: word form (length 8) has a 32-bit address
// at 8 and the value at 12; data form a 16-bit address at 10 and data at 12.
constexpr size_t MemAddress = 8;
constexpr size_t MemCount = 12;
constexpr size_t WriteWordAddress = 8;
constexpr size_t WriteShortAddress = 10;
constexpr size_t WriteData = 12;
constexpr size_t WordFormLength = 8;

// Bootstrap registers the simulated camera has (byte addresses).
constexpr uint32_t RegVersion = 0x0000;
constexpr uint32_t RegDeviceMode = 0x0004;
constexpr uint32_t RegMacHigh = 0x0008;
constexpr uint32_t RegMacLow = 0x000C;
constexpr uint32_t RegSupportedIpConfig = 0x0010;
constexpr uint32_t RegCurrentIpConfig = 0x0014;
constexpr uint32_t RegCurrentIp = 0x0024;
constexpr uint32_t RegCurrentMask = 0x0034;
constexpr uint32_t RegCurrentGateway = 0x0044;
constexpr uint32_t RegInterfaces = 0x0600;
constexpr uint32_t RegPersistentIp = 0x064C;
constexpr uint32_t RegPersistentMask = 0x065C;
constexpr uint32_t RegPersistentGateway = 0x066C;
constexpr uint32_t RegLinkSpeed = 0x0670;
constexpr uint32_t RegGvcpCapability = 0x0934;
constexpr uint32_t RegHeartbeat = 0x0938;
constexpr uint32_t RegControlPrivilege = 0x0A00;
constexpr uint32_t RegPrimaryPort = 0x0A04;
constexpr uint32_t RegPrimaryAddress = 0x0A14;
constexpr uint32_t CapLinkSpeed = 0x10000000;
constexpr uint32_t CapPrimaryApplication = 0x08000000;

}  // namespace camsim
