// The "FPGA Bit" row: file selection, the Program click, and the job's
// progress and ending. Everything the job needs is taken from the widgets
// here; the job itself runs on the core's job runner and never touches a
// widget.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bitfilename.h"
#include "bitimage.h"
#include "devicelink.h"
#include "logging.h"
#include "programjob.h"

#include <QFileDialog>
#include <QMessageBox>

void MainWindow::on_btnBrowseBit_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Bitstream File"), QString(), "*.bit");
    if (path.isNull())
        return;

    const BitFileName check = checkBitFileName(path);
    if (check != BitFileName::Valid) {
        tell(UserMessage::info(bitFileNameMessage(check)));
        return;
    }
    if (!DeviceLink::instance().devices().isEmpty() && ui->cbDevice->currentIndex() >= 0)
        ui->leBitstreamFile->setText(path);
}

void MainWindow::on_btnProgramBit_clicked()
{
    // The button is disabled while a job runs on this camera; a queued click
    // must not start a second transfer.
    if (jobRunning_ || chosenCameraRunsTableJob())
        return;

    const QString path = ui->leBitstreamFile->text();
    DeviceRecord record;
    const bool selected = selectedRecord(record);
    const QString version = selected ? record.versionText() : QString();

    // Refuse what would harm the camera before anything is sent.
    const bitstream::Preflight check =
        bitstream::preflight(path, FirmwareVersion::fromText(version));
    if (check.kind == bitstream::Preflight::Kind::Refuse) {
        tell(check.message);
        return;
    }
    if (check.kind == bitstream::Preflight::Kind::Ask &&
        QMessageBox::question(this, check.message.title, check.message.text,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;

    if (!probeCamera())
        return;

    const bitstream::BitstreamLoad load = bitstream::loadBitstream(path);
    if (load.status != bitstream::LoadStatus::Ok) {
        const UserMessage m = bitstream::loadFailedMessage(load.status);
        showMsg(m.title, m.text);
        return;
    }
    sectorCount = load.sectorCount;
    qCDebug(lcOrvanta) << "bit size" << QString::number(load.data.size(), 16);
    ui->lblProgramProgress->setText(QStringLiteral("%1/%2").arg(0).arg(load.sectorCount));

    // Without a selected camera its version is unknown: the sectors are
    // programmed but cannot be verified, and the technician is told so.
    const FirmwareVersion firmware = FirmwareVersion::fromText(version);
    if (selected)
        qCDebug(lcOrvanta) << "Program device fw version:" << (firmware.known ? firmware.major : 1)
                           << firmware.minor;
    JobTask task;
    task.camera = record;
    task.access = channel_;
    task.plan = bitstream::planProgram(load.data, selected && firmware.canReadBack());
    task.history.file = path;
    task.history.sha256 = load.sha256;
    setCameraControlsEnabled(false);
    bitJobId_ = runner_->start(std::move(task));
}

void MainWindow::jobProgress(int id, const flash::JobProgress &progress)
{
    if (id == bitJobId_)
        updateStep(progress.sector, progress.phase == flash::Phase::ReadingBack);
}

void MainWindow::jobFinished(const JobReport &report)
{
    if (report.id != bitJobId_)
        return;
    bitJobId_ = -1;
    if (!report.historyProblem.isEmpty())
        qCWarning(lcOrvanta).noquote() << report.historyProblem;
    // The technician chose to stop it, having been told what that leaves.
    if (report.ending.result != endings::Result::Cancelled) {
        const UserMessage m = endings::message(report.ending);
        showMsg(m.title, m.text);
    }
    setCameraControlsEnabled(true);
}

void MainWindow::updateStep(int step, bool verify)
{
    ui->progressBar->setValue(bitimage::progressPercent(step, sectorCount));
    ui->lblProgramProgress->setText(bitimage::progressLabel(step, sectorCount, verify));
    // The controls come back with the job's ending, once the whole job,
    // read-back included, has ended.
}
