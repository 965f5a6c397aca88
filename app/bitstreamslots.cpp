// The "FPGA Bit" row: file selection, the Program click and the worker's job.
// Everything the job needs is taken from the widgets here, on the GUI thread;
// the job itself (bitstream/programjob) never touches a widget.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bitfilename.h"
#include "bitimage.h"
#include "devicelink.h"
#include "programjob.h"
#include "sendthread.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cstring>

void MainWindow::on_btnBrowseBit_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Bitstream File"), QString(), "*.bit");
    if (path.isNull())
        return;

    const BitFileName check = checkBitFileName(path);
    if (check != BitFileName::Valid) {
        QMessageBox::information(this, QStringLiteral("Info"), bitFileNameMessage(check));
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
    if (path.size() < 3) {
        QMessageBox::information(this, QStringLiteral("Info"),
                                 QStringLiteral("Please select bit file first."));
        return;
    }

    DeviceRecord record;
    const bool selected = selectedRecord(record);
    const QString version =
        selected ? QString::fromUtf8(record.deviceVersion,
                                     int(qstrnlen(record.deviceVersion, sizeof record.deviceVersion)))
                 : QString();

    // Refuse what would harm the camera before anything is sent. A file that
    // cannot be read is left to the job, which reports it.
    const QFileInfo info(path);
    if (info.exists() && info.isFile()) {
        if (info.size() > bitimage::MaxFileSize) {
            QMessageBox::critical(this, QStringLiteral("Error"), programtext::tooLarge());
            return;
        }
        if (bitimage::reachesParamArea(info.size(), version)) {
            const auto answer = QMessageBox::question(
                this, QStringLiteral("Info"),
                programtext::paramAreaQuestion(bitimage::paramAreaBase(version)),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes)
                return;
        }
    }

    if (!probeCamera())
        return;

    bitJob.path = path;
    bitJob.cameraSelected = selected;
    bitJob.deviceVersion = version;
    jobCancel = false;
    setCameraControlsEnabled(false);
    sendThread->requestProgram();
}

// Worker thread. Reads only bitJob (written before requestProgram), the
// channel and its own buffers; results travel as queued signals and calls.
void MainWindow::programBitstream()
{
    ProgramCallbacks callbacks;
    callbacks.step = [this](int num, bool verify) { emit sendThread->step(num, verify); };
    callbacks.msg = [this](QString title, QString text) { emit sendThread->msg(title, text); };
    callbacks.label = [this](QString text) {
        QMetaObject::invokeMethod(this, "showProgramLabel", Qt::QueuedConnection,
                                  Q_ARG(QString, text));
    };
    runProgramJob(channel_, bitJob, bitData, sectorCount, callbacks, &jobCancel);
    QMetaObject::invokeMethod(this, "programJobFinished", Qt::QueuedConnection);
}

void MainWindow::updateStep(int step, bool verify)
{
    const int count = sectorCount;
    ui->progressBar->setValue(bitimage::progressPercent(step, count));
    ui->lblProgramProgress->setText(bitimage::progressLabel(step, count, verify));
    // The controls come back with programJobFinished, once the whole job,
    // read-back included, has ended.
}

void MainWindow::programJobFinished()
{
    setCameraControlsEnabled(true);
}

void MainWindow::showProgramLabel(QString text)
{
    ui->lblProgramProgress->setText(text);
}
