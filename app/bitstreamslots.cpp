// The "FPGA Bit" row: file selection, the Program click and the worker's job.
// Everything the job needs is taken from the widgets here, on the GUI thread;
// the job itself (bitstream/programjob, a flash::FlashJob) never touches a
// widget.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bitfilename.h"
#include "bitimage.h"
#include "devicelink.h"
#include "logging.h"
#include "programjob.h"
#include "sendthread.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QMutexLocker>

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
    // The button is disabled while a job runs; a queued click must not start
    // a second transfer on the same window.
    if (jobRunning_)
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

    bitRequest_.path = path;
    bitRequest_.cameraSelected = selected;
    bitRequest_.deviceVersion = version;
    bitRequest_.channel = channel_;
    setCameraControlsEnabled(false);
    sendThread->requestProgram();
}

// Worker thread. Reads only bitRequest_ (written before requestProgram) and
// its own job; results travel as queued signals and calls.
void MainWindow::programBitstream()
{
    const BitstreamRequest request = bitRequest_;
    auto finished = [this] {
        QMetaObject::invokeMethod(this, "programJobFinished", Qt::QueuedConnection);
    };

    const bitstream::BitstreamLoad load = bitstream::loadBitstream(request.path);
    if (load.status != bitstream::LoadStatus::Ok) {
        sectorCount = 0;
        const UserMessage m = bitstream::loadFailedMessage(load.status);
        emit sendThread->msg(m.title, m.text);
        finished();
        return;
    }
    sectorCount = load.sectorCount;
    qCDebug(lcOrvanta) << "bit size" << QString::number(load.data.size(), 16);
    QMetaObject::invokeMethod(this, "showProgramLabel", Qt::QueuedConnection,
                              Q_ARG(QString, QStringLiteral("%1/%2").arg(0).arg(load.sectorCount)));

    // Without a selected camera its version is unknown: the sectors are
    // programmed but cannot be verified, and the technician is told so.
    const FirmwareVersion version = FirmwareVersion::fromText(request.deviceVersion);
    if (request.cameraSelected)
        qCDebug(lcOrvanta) << "Program device fw version:" << (version.known ? version.major : 1)
                           << version.minor;
    const bool verify = request.cameraSelected && version.canReadBack();
    auto job = std::make_shared<flash::FlashJob>(bitstream::planProgram(load.data, verify));
    {
        QMutexLocker lock(&jobLock_);
        activeJob_ = job;
        if (closing_)
            job->cancel();
    }
    const flash::JobOutcome outcome =
        job->run(*request.channel, [this](const flash::JobProgress &p) {
            emit sendThread->step(p.sector, p.phase == flash::Phase::ReadingBack);
        });
    {
        QMutexLocker lock(&jobLock_);
        activeJob_.reset();
    }
    const UserMessage m = bitstream::outcomeMessage(outcome);
    if (!m.isEmpty())
        emit sendThread->msg(m.title, m.text);
    finished();
}

void MainWindow::updateStep(int step, bool verify)
{
    const int count = sectorCount;
    ui->progressBar->setValue(bitimage::progressPercent(step, count));
    ui->lblProgramProgress->setText(bitimage::progressLabel(step, count, verify));
    // The controls come back with programJobFinished, once the whole job,
    // read-back included, has ended.
}

void MainWindow::programJobFinished() { setCameraControlsEnabled(true); }

void MainWindow::showProgramLabel(QString text) { ui->lblProgramProgress->setText(text); }
