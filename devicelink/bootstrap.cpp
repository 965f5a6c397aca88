#include "bootstrap.h"

#include "gvcp.h"

namespace bootstrap {

ExchangeResult readRegister(DeviceAccess &camera, quint32 address, Register &out, int attempts)
{
    out = Register();
    ExchangeResult r;
    for (int i = 0; i < attempts; ++i) {
        quint32 value = 0;
        r = camera.readRegs(&address, 1, &value);
        if (r.ok()) {
            out.present = true;
            out.value = value;
            return r;
        }
        if (r.kind == ExchangeResult::Kind::CameraStatus)
            return r;
    }
    return r;
}

bool readStoredConfiguration(DeviceAccess &camera, StoredConfiguration &out)
{
    const struct {
        quint32 address;
        Register StoredConfiguration::*field;
    } registers[] = {{gvcp::reg::CurrentIpConfig, &StoredConfiguration::ipConfig},
                     {gvcp::reg::PersistentIp, &StoredConfiguration::persistentIp},
                     {gvcp::reg::PersistentMask, &StoredConfiguration::persistentMask},
                     {gvcp::reg::PersistentGateway, &StoredConfiguration::persistentGateway}};
    out = StoredConfiguration();
    for (const auto &r : registers) {
        const ExchangeResult e = readRegister(camera, r.address, out.*r.field);
        if (!e.ok() && e.kind != ExchangeResult::Kind::CameraStatus)
            return false;
    }
    return true;
}

void addressBytes(quint32 value, quint8 out[4])
{
    out[0] = quint8(value >> 24);
    out[1] = quint8(value >> 16);
    out[2] = quint8(value >> 8);
    out[3] = quint8(value);
}

}  // namespace bootstrap
