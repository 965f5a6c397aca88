// The IP configuration panel: Force IP, IP Config and random ip. Addresses are
// checked before anything is sent, and nothing is sent without a chosen camera:
// a bad field must never reach a camera as 255.255.255.255, and a command must
// never go out addressed to MAC FF:FF:FF:FF:FF:FF.
#include "ippanel.h"

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QStringList>

#include <cstdlib>

bool randomHostAddress(const QString &hostIP, int r, AddressProposal &out)
{
    const QStringList parts = hostIP.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return false;
    const int host = int(r / 32767.0 * 252.0 + 1.0);
    const QString net = parts.at(0) + QLatin1Char('.') + parts.at(1) + QLatin1Char('.') +
                        parts.at(2) + QLatin1Char('.');
    out.ip = net + QString::number(host);
    out.gateway = net + QStringLiteral("254");
    out.mask = parts.at(0) == QLatin1String("169") ? QStringLiteral("255.255.0.0")
                                                   : QStringLiteral("255.255.255.0");
    return true;
}

ipassign::Mode ipConfigMode(bool dhcpChecked, bool staticChecked)
{
    if (dhcpChecked)
        return ipassign::Dhcp;
    if (staticChecked)
        return ipassign::Static;
    return ipassign::LinkLocal;
}

bool MainWindow::checkedAddressFields(ipassign::Addresses &addresses)
{
    QString error;
    if (ipassign::parseAddresses(ui->leIP->text(), ui->leMask->text(), ui->leGateway->text(),
                                 addresses, error))
        return true;
    QMessageBox::information(this, QStringLiteral("Error"), error);
    return false;
}

void MainWindow::on_btnForceIp_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record) || !channel_) {
        tell(UserMessage::info(texts::selectCameraFirst()));
        return;
    }
    ipassign::Addresses a;
    if (!checkedAddressFields(a))
        return;
    if (!channel_->forceIp(record.mac, a.ip, a.mask, a.gateway).ok())
        QMessageBox::information(this, QStringLiteral("Error"), ipassign::forceIpFailedText());
}

void MainWindow::on_btnIPConfig_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record) || !channel_) {
        tell(UserMessage::info(texts::selectCameraFirst()));
        return;
    }
    const ipassign::Mode mode =
        ipConfigMode(ui->rbIPConfigDHCP->isChecked(), ui->rbIPConfigStatic->isChecked());
    // Only a static configuration carries the addresses; the others send
    // zeros, so their fields are not checked.
    ipassign::Addresses a;
    if (mode == ipassign::Static && !checkedAddressFields(a))
        return;
    const ipassign::ConfigOutcome o = ipassign::configureAndRestart(*channel_, record.mac, mode, a);
    if (!o.stored.ok())
        QMessageBox::information(this, QStringLiteral("Error"), ipassign::configFailedText());
    if (!o.restarted.ok())
        QMessageBox::information(this, QStringLiteral("Error"), ipassign::forceIpFailedText());
}

void MainWindow::on_btnRandomIP_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record))
        return;
    const int r = std::rand() & 0x7FFF;  // the formula expects 0..32767
    AddressProposal proposal;
    if (!randomHostAddress(record.hostIP, r, proposal))
        return;
    ui->leIP->setText(proposal.ip);
    ui->leMask->setText(proposal.mask);
    ui->leGateway->setText(proposal.gateway);
    ui->rbIPConfigStatic->setChecked(true);
}
