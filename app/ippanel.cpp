// The IP configuration panel: Force IP, IP Config and random ip. Addresses are
// checked before anything is sent, and nothing is sent without a chosen camera:
// a bad field must never reach a camera as 255.255.255.255, and a command must
// never go out addressed to MAC FF:FF:FF:FF:FF:FF.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "endings.h"
#include "history.h"
#include "ipchange.h"
#include "logging.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QRandomGenerator>

namespace {

// Every IP command sent is recorded, whatever its ending, before it is shown.
void recordInHistory(const DeviceRecord &camera, const endings::Ending &ending,
                     const QString &settings, double seconds)
{
    history::Source source;
    source.ipSettings = settings;
    const QString path = history::defaultPath();
    QString error;
    if (!history::append(path, history::entryOf(camera, ending, source, 0, seconds), error))
        qCWarning(lcOrvanta).noquote()
            << QStringLiteral("The history file %1 was not written: %2").arg(path, error);
}

}  // namespace

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
    QElapsedTimer clock;
    clock.start();
    const ExchangeResult r = channel_->forceIp(record.mac, a.ip, a.mask, a.gateway);
    recordInHistory(record, endings::fromForceIp(r), ipchange::forceIpText(a),
                    clock.elapsed() / 1000.0);
    if (!r.ok())
        tell(endings::message(endings::fromForceIp(r)));
}

void MainWindow::on_btnIPConfig_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record) || !channel_) {
        tell(UserMessage::info(texts::selectCameraFirst()));
        return;
    }
    const ipassign::Mode mode =
        ipassign::modeFor(ui->rbIPConfigDHCP->isChecked(), ui->rbIPConfigStatic->isChecked());
    // Only a static configuration carries the addresses; the others send
    // zeros, so their fields are not checked.
    ipassign::Addresses a;
    if (mode == ipassign::Static && !checkedAddressFields(a))
        return;
    QElapsedTimer clock;
    clock.start();
    const ipassign::ConfigOutcome o = ipassign::configureAndRestart(*channel_, record.mac, mode, a);
    powerCycleLines_.clear();  // what it stored has changed
    recordInHistory(record, endings::fromIpConfig(o.stored, o.restarted),
                    ipchange::ipConfigText(mode, a), clock.elapsed() / 1000.0);
    // One box for each step that failed.
    if (!o.stored.ok())
        tell(endings::message(endings::fromIpConfig(o.stored, ExchangeResult::accepted())));
    if (!o.restarted.ok())
        tell(endings::message(endings::fromForceIp(o.restarted)));
}

void MainWindow::on_btnRandomIP_clicked()
{
    DeviceRecord record;
    if (!selectedRecord(record))
        return;
    const int r = int(QRandomGenerator::global()->bounded(ipassign::ProposalDrawLimit));
    ipassign::AddressProposal proposal;
    if (!ipassign::randomHostAddress(record.hostIP, r, proposal))
        return;
    ui->leIP->setText(proposal.ip);
    ui->leMask->setText(proposal.mask);
    ui->leGateway->setText(proposal.gateway);
    ui->rbIPConfigStatic->setChecked(true);
}
