// The IP configuration panel: Force IP, IP Config and random ip. Addresses are
// checked before anything is sent, and nothing is sent without a chosen camera:
// a bad field must never reach a camera as 255.255.255.255, and a command must
// never go out addressed to MAC FF:FF:FF:FF:FF:FF.
#include "ippanel.h"

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "gvcp.h"
#include "ipv4address.h"

#include <QMessageBox>
#include <QStringList>

bool randomHostAddress(const QString &hostIP, int r, AddressProposal &out)
{
    const QStringList parts = hostIP.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return false;
    const int host = int(r / 32767.0 * 252.0 + 1.0);
    const QString net = parts.at(0) + QLatin1Char('.') + parts.at(1) + QLatin1Char('.')
                        + parts.at(2) + QLatin1Char('.');
    out.ip = net + QString::number(host);
    out.gateway = net + QStringLiteral("254");
    out.mask = parts.at(0) == QLatin1String("169") ? QStringLiteral("255.255.0.0")
                                                   : QStringLiteral("255.255.255.0");
    return true;
}

int ipConfigMode(bool dhcpChecked, bool staticChecked)
{
    if (dhcpChecked)
        return gvcp::IpConfigDhcp | gvcp::IpConfigLla;
    if (staticChecked)
        return gvcp::IpConfigPersistent | gvcp::IpConfigLla;
    return gvcp::IpConfigLla;
}

namespace {

const QString NoCameraText = QStringLiteral("Please select a camera first.");

// Normalises one field ("192.168.002.014" -> "192.168.2.14"); on a bad field
// tells the user which one and returns false.
bool checkedAddress(QWidget *parent, const QString &text, const QString &fieldName,
                    QString &normalised)
{
    quint8 octets[4];
    if (!parseIPv4(text, octets)) {
        QMessageBox::information(
            parent, QStringLiteral("Error"),
            QStringLiteral("%1 is not a valid IPv4 address (four numbers 0-255 separated by dots).")
                .arg(fieldName));
        return false;
    }
    normalised = ipv4Text(octets);
    return true;
}

}  // namespace

bool MainWindow::checkedAddressFields(QString &ip, QString &mask, QString &gateway)
{
    return checkedAddress(this, ui->leIP->text(), QStringLiteral("The IP address"), ip)
           && checkedAddress(this, ui->leMask->text(), QStringLiteral("The subnet mask"), mask)
           && checkedAddress(this, ui->leGateway->text(), QStringLiteral("The gateway"), gateway);
}

void MainWindow::on_btnForceIp_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record)) {
        QMessageBox::information(this, QStringLiteral("Info"), NoCameraText);
        return;
    }
    QString ip, mask, gateway;
    if (!checkedAddressFields(ip, mask, gateway))
        return;
    if (!forceIp(ip, mask, gateway, record.mac))
        QMessageBox::information(this, QStringLiteral("Error"), QStringLiteral("ForceIP failed."));
}

void MainWindow::on_btnIPConfig_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record)) {
        QMessageBox::information(this, QStringLiteral("Info"), NoCameraText);
        return;
    }
    const int mode = ipConfigMode(ui->rbIPConfigDHCP->isChecked(), ui->rbIPConfigStatic->isChecked());
    // Only a static configuration carries the addresses; the others send zeros,
    // so their fields are not checked.
    QString ip = QStringLiteral("0.0.0.0"), mask = ip, gateway = ip;
    if ((mode & gvcp::IpConfigPersistent) && !checkedAddressFields(ip, mask, gateway))
        return;

    if (!configIp(ip, mask, gateway, record.mac, mode))
        QMessageBox::information(this, QStringLiteral("Error"), QStringLiteral("IP configure failed."));
    // FORCEIP to 0.0.0.0 makes the camera restart its IP configuration with
    // what was just stored.
    const QString zero = QStringLiteral("0.0.0.0");
    if (!forceIp(zero, zero, zero, record.mac))
        QMessageBox::information(this, QStringLiteral("Error"), QStringLiteral("ForceIP failed."));
}

void MainWindow::on_btnRandomIP_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record))
        return;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const int r = qrand() & 0x7FFF;  // the formula expects 0..32767
    QT_WARNING_POP
    AddressProposal proposal;
    if (!randomHostAddress(record.hostIP, r, proposal))
        return;
    ui->leIP->setText(proposal.ip);
    ui->leMask->setText(proposal.mask);
    ui->leGateway->setText(proposal.gateway);
    ui->rbIPConfigStatic->setChecked(true);
}
