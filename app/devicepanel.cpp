// The device panel: Refresh, the device list, the host address label and the
// camera information. Picking an entry makes that camera the target of every
// later command.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "camerapanel.h"
#include "control.h"
#include "devicelink.h"
#include "logging.h"

void MainWindow::on_btnRefresh_clicked()
{
    DeviceLink::instance().discover(true);
    refreshDeviceList();
}

void MainWindow::refreshDeviceList()
{
    ui->teCamInfo->setPlainText(QString());
    powerCycleLines_.clear();
    const QList<DeviceRecord> devices = DeviceLink::instance().devices();

    // Filling the list must not run a selection per entry. The connection was
    // made by name (index based), so it is undone and redone the same way.
    disconnect(ui->cbDevice, SIGNAL(currentIndexChanged(int)), this,
               SLOT(on_cbDevice_currentIndexChanged(int)));
    ui->cbDevice->clear();
    QStringList labels;
    labels.reserve(devices.size());
    for (const DeviceRecord &record : devices) {
        labels.append(record.itemText());
        qCDebug(lcOrvanta).noquote().nospace() << "Camera " << labels.last();
    }
    ui->cbDevice->addItems(labels);
    connect(ui->cbDevice, SIGNAL(currentIndexChanged(int)), this,
            SLOT(on_cbDevice_currentIndexChanged(int)));

    on_cbDevice_currentIndexChanged(0);
    cameraPanel_->reload();
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
    const QPair<const char *, QString> lines[] = {
        {"ip ", record.ipText()},
        {"manufacturerName ", DeviceRecord::fieldText(record.manufacturerName)},
        {"modelName ", DeviceRecord::fieldText(record.modelName)},
        {"deviceVersion ", DeviceRecord::fieldText(record.deviceVersion)},
        {"serialNumber ", DeviceRecord::fieldText(record.serialNumber)},
        {"mac ", record.macText()},
        {"userDefinedName ", DeviceRecord::fieldText(record.userDefinedName)}};
    QString info;
    for (const auto &line : lines)
        info += QLatin1String(line.first) + line.second + QLatin1Char('\n');

    ui->leIP->setText(record.ipText());
    ui->leMask->setText(record.maskText());
    ui->leGateway->setText(record.gatewayText());

    switch (ipassign::modeOf(record.ipConfig)) {
    case ipassign::Static: ui->rbIPConfigStatic->setChecked(true); break;
    case ipassign::Dhcp: ui->rbIPConfigDHCP->setChecked(true); break;
    case ipassign::LinkLocal: ui->rbIPConfigLLA->setChecked(true); break;
    }

    switch (checkSubnet(record)) {
    case SubnetCheck::SameSubnet:
        ui->gbIPConfig->setStyleSheet(QString());
        ui->lblWarn->hide();
        break;
    case SubnetCheck::OtherSubnet:
        ui->gbIPConfig->setStyleSheet(QStringLiteral("color: indianred"));
        ui->lblWarn->show();
        break;
    case SubnetCheck::Undecided: break;
    }

    // Every later command goes to this camera, from the address it answered on.
    channel_ = std::make_shared<CameraChannel>(record);
    ui->lblHostIP->setText(record.hostIP);

    // Who controls it, asked once, where unicast reaches it: nothing shown
    // when the camera does not say. Then what it does at its next start.
    if (checkSubnet(record) != SubnetCheck::OtherSubnet) {
        const QString controlLine = control::holderLine(control::readHolder(*channel_, 1));
        if (!controlLine.isEmpty())
            info += controlLine + QLatin1Char('\n');
    }
    info += powerCycleLine(record);
    ui->teCamInfo->setPlainText(info);

    cameraPanel_->showCamera(index);
    applyCameraControls();
}
