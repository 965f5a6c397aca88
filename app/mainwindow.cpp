// MainWindow: construction, teardown, messages, and the controls that a
// flash job locks.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "buildstamp.h"
#include "camerapanel.h"
#include "devicelink.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextEdit>

// The warning icon lives in a static library; registering it explicitly at
// static initialisation keeps the linker from dropping the resource.
static int registerResources()
{
    Q_INIT_RESOURCE(resources);
    return 1;
}
static const int resourcesRegistered = registerResources();

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), runner_(new JobRunner(0, this))
{
    Q_UNUSED(resourcesRegistered);
    ui->setupUi(this);
    fitAddressFields();
    fitCameraInformation();

    auto *version = new QLabel(versionLabelText(buildStamp()), this);
    statusBar()->addWidget(version, 0);

    cameraPanel_ =
        CameraPanel::install(this, runner_, ui->cbDevice, ui->leParamHexFile, ui->leBitstreamFile);
    connect(cameraPanel_, &CameraPanel::jobsChanged, this, &MainWindow::applyCameraControls);

    DeviceLink::instance().discover(true);
    refreshDeviceList();

    connect(runner_, &JobRunner::progress, this, &MainWindow::jobProgress);
    connect(runner_, &JobRunner::finished, this, &MainWindow::jobFinished);
}

// The address fields are 100 pixels wide, which fits a full address in the
// Windows dialog font. With a larger font they would scroll, and a mask of
// 255.255.255.0 would read "55.255.255.0": widen them just enough instead.
void MainWindow::fitAddressFields()
{
    for (QLineEdit *field : {ui->leIP, ui->leMask, ui->leGateway}) {
        const int needed =
            field->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000")) + 16;
        if (needed > field->maximumWidth()) {
            field->setMinimumWidth(needed);
            field->setMaximumWidth(needed);
        }
    }
}

// The camera information box is 125 pixels high, seven lines of discovery
// data. Who controls the camera and what it does after a power cycle make
// nine: the box grows just enough to show them without scrolling.
void MainWindow::fitCameraInformation()
{
    QTextEdit *info = ui->teCamInfo;
    const int lines = 10;  // and the line end after the last
    const int needed = info->fontMetrics().lineSpacing() * lines + 2 * info->frameWidth() +
                       2 * int(info->document()->documentMargin()) + 4;
    if (needed > info->maximumHeight()) {
        info->setMinimumHeight(needed);
        info->setMaximumHeight(needed);
    }
}

MainWindow::~MainWindow()
{
    // A running job must never outlive the form or the window it reports to:
    // stop it between two exchanges and wait for its thread. Every job is
    // bounded and cancellable, so the wait is bounded.
    runner_->cancelAll();
    runner_->waitForAll();
    delete ui;
    ui = nullptr;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (blockingJob_) {
        // The window is blocked during this write, as it always was: the
        // close is carried out once the write has ended.
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    const int tableJobs = cameraPanel_->runningCount();
    if (jobRunning_ || tableJobs > 0) {
        // One question for every job, the window's own and the table's.
        const QString text =
            tableJobs == 0
                ? QStringLiteral("A programming job is running. Stop it between two exchanges and "
                                 "close? The camera's flash may then be incomplete and must be "
                                 "programmed again before power off.")
                : QStringLiteral("Jobs are running on %1 camera(s). Stop them between two "
                                 "exchanges and close? Their flash may then be incomplete and "
                                 "must be written again before power off.")
                      .arg(tableJobs + (jobRunning_ ? 1 : 0));
        const auto answer =
            QMessageBox::question(this, QStringLiteral("Info"), text,
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        runner_->cancelAll();
    }
    event->accept();
}

void MainWindow::showMsg(QString title, QString msg)
{
    if (title == QLatin1String("Error"))
        QMessageBox::critical(this, title, msg);
    else
        QMessageBox::information(this, title, msg);
}

void MainWindow::tell(const UserMessage &message)
{
    if (message.kind == UserMessage::Kind::Critical)
        QMessageBox::critical(this, message.title, message.text);
    else
        QMessageBox::information(this, message.title, message.text);
}

void MainWindow::setCameraControlsEnabled(bool enabled)
{
    jobRunning_ = !enabled;
    DeviceRecord chosen;
    cameraPanel_->setWindowJobCamera(!enabled && selectedRecord(chosen) ? chosen.macText()
                                                                        : QString());
    applyCameraControls();
}

void MainWindow::applyCameraControls()
{
    const bool windowJob = jobRunning_;
    // A Refresh would rebuild the table under the rows of its running jobs.
    const bool tableJobs = cameraPanel_->runningCount() > 0;
    const bool chosenFree = !windowJob && !chosenCameraRunsTableJob();
    ui->btnRefresh->setEnabled(!windowJob && !tableJobs);
    ui->btnDiagnose->setEnabled(!windowJob && !tableJobs);
    ui->cbDevice->setEnabled(!windowJob);
    ui->btnWriteSPI->setEnabled(chosenFree);
    ui->btnProgramBit->setEnabled(chosenFree);
    ui->btnForceIp->setEnabled(chosenFree);
    ui->btnIPConfig->setEnabled(chosenFree);
}

bool MainWindow::chosenCameraRunsTableJob() const
{
    DeviceRecord chosen;
    return selectedRecord(chosen) && cameraPanel_->runsJobOn(chosen.macText());
}

bool MainWindow::probeCamera()
{
    if (channel_ && cameraAnswers(*channel_))
        return true;
    tell(UserMessage::info(texts::deviceNotExists()));
    return false;
}
