// The device panel: Refresh, the device list, the host address label and the
// camera information. Picking an entry makes that camera the target of every
// later command.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "devicelink.h"

#include <QDebug>
#include <cstring>

namespace {

// A name field of the acknowledge: its bytes up to the first zero, as UTF-8.
template <size_t N>
QString fieldText(const char (&field)[N])
{
    const void *end = std::memchr(field, 0, N);
    const int length = end ? int(static_cast<const char *>(end) - field) : int(N);
    return QString::fromUtf8(field, length);
}

}  // namespace

void MainWindow::on_btnRefresh_clicked()
{
    DeviceLink::instance().discover(true);
    refreshDeviceList();
}

void MainWindow::refreshDeviceList()
{
    ui->teCamInfo->setPlainText(QString());
    const QList<DeviceRecord> devices = DeviceLink::instance().devices();

    // Filling the list must not run a selection per entry. The connection was
    // made by name (index based), so it is undone and redone the same way.
    disconnect(ui->cbDevice, SIGNAL(currentIndexChanged(int)), this,
               SLOT(on_cbDevice_currentIndexChanged(int)));
    ui->cbDevice->clear();
    for (const DeviceRecord &record : devices) {
        const QString label = record.itemText();
        ui->cbDevice->addItem(label);
        qDebug().noquote().nospace() << "Camera " << label;
    }
    connect(ui->cbDevice, SIGNAL(currentIndexChanged(int)), this,
            SLOT(on_cbDevice_currentIndexChanged(int)));

    on_cbDevice_currentIndexChanged(0);
}

bool MainWindow::selectedRecord(DeviceRecord &record) const
{
    const QList<DeviceRecord> &devices = DeviceLink::instance().devices();
    const int index = ui->cbDevice->currentIndex();
    if (index < 0 || index >= devices.size())
        return false;
    record = devices.at(index);
    return true;
}

void MainWindow::on_cbDevice_currentIndexChanged(int index)
{
    const QList<DeviceRecord> &devices = DeviceLink::instance().devices();
    if (index < 0 || index >= devices.size())
        return;
    const DeviceRecord record = devices.at(index);

    // Plain text: the names come from the network and are not markup.
    const QString info = QStringLiteral("ip ") + record.ipText() + QLatin1Char('\n')
                         + QStringLiteral("manufacturerName ") + fieldText(record.manufacturerName) + QLatin1Char('\n')
                         + QStringLiteral("modelName ") + fieldText(record.modelName) + QLatin1Char('\n')
                         + QStringLiteral("deviceVersion ") + fieldText(record.deviceVersion) + QLatin1Char('\n')
                         + QStringLiteral("serialNumber ") + fieldText(record.serialNumber) + QLatin1Char('\n')
                         + QStringLiteral("mac ") + record.macText() + QLatin1Char('\n')
                         + QStringLiteral("userDefinedName ") + fieldText(record.userDefinedName) + QLatin1Char('\n');
    ui->teCamInfo->setPlainText(info);

    ui->leIP->setText(record.ipText());
    ui->leMask->setText(record.maskText());
    ui->leGateway->setText(record.gatewayText());

    if (record.ipConfig & 0x01)
        ui->rbIPConfigStatic->setChecked(true);
    else if (record.ipConfig & 0x02)
        ui->rbIPConfigDHCP->setChecked(true);
    else
        ui->rbIPConfigLLA->setChecked(true);

    // Is the camera in the subnet of the interface it answered on? Only the
    // first three octets are compared, with the camera's own mask on both sides.
    const QStringList hostParts = record.hostIP.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (hostParts.size() == 4) {
        bool sameSubnet = true;
        for (int k = 0; k < 3 && sameSubnet; ++k) {
            const int hostOctet = hostParts.at(k).toInt();  // not a number: 0
            sameSubnet = (record.ip[k] & record.mask[k]) == (hostOctet & record.mask[k]);
        }
        if (sameSubnet) {
            ui->gbIPConfig->setStyleSheet(QString());
            ui->lblWarn->hide();
        } else {
            ui->gbIPConfig->setStyleSheet(QStringLiteral("color: indianred"));
            ui->lblWarn->show();
        }
    }

    // The camera's socket and address: every later command goes there.
    channel_.choose(record.socketSlot, record.ip);
    ui->lblHostIP->setText(record.hostIP);
}
