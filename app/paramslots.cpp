// The "Param Hex" row and the two auxiliary slots. The slots gather the
// path and the chosen camera, call the parameter writer's sequence in
// paramflash/, and show what it says.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "logging.h"
#include "paramfile.h"
#include "paramwriter.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace {

// Eats the user's input while it is installed on the application.
class InputSwallower : public QObject {
protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu: return true;
        default: return false;
        }
    }
};

// While a camera job the window waits for runs: the camera controls disabled,
// the wait cursor up, and the user's input eaten as it arrives, so that a
// click made meanwhile can never reach Write once it is enabled again (a
// double click would write the camera twice). All given back on every way out.
class BlockedWindow {
public:
    explicit BlockedWindow(std::function<void(bool)> setControlsEnabled)
        : setEnabled_(std::move(setControlsEnabled))
    {
        setEnabled_(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(&swallower_);
    }
    ~BlockedWindow()
    {
        qApp->removeEventFilter(&swallower_);
        QApplication::restoreOverrideCursor();
        setEnabled_(true);
    }
    BlockedWindow(const BlockedWindow &) = delete;
    BlockedWindow &operator=(const BlockedWindow &) = delete;

private:
    std::function<void(bool)> setEnabled_;
    InputSwallower swallower_;
};

const QString JobRunningText =
    QStringLiteral("A programming job is running; please wait until it has finished.");

}  // namespace

JobReport MainWindow::runBlocking(JobTask task)
{
    JobReport report;
    bool ended = false;
    blockingJob_ = true;
    {
        BlockedWindow blocked([this](bool on) { setCameraControlsEnabled(on); });
        QEventLoop loop;
        const int id = runner_->start(std::move(task));
        const auto connection =
            connect(runner_, &JobRunner::finished, &loop, [&](const JobReport &r) {
                if (r.id != id)
                    return;
                report = r;
                ended = true;
                loop.quit();
            });
        loop.exec();
        disconnect(connection);
        if (!ended) {  // the application is quitting: no one waits for the ending
            runner_->cancel(id);
            runner_->waitForAll();
        }
    }
    blockingJob_ = false;
    return report;
}

void MainWindow::on_btnBrowse_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Hex File"), QString(), QStringLiteral("*.hex"));
    if (!path.isNull())
        ui->leParamHexFile->setText(path);
}

void MainWindow::on_btnWriteSPI_clicked()
{
    // The bitstream job shares the camera; this slot can also be reached by
    // name while Write is disabled.
    if (jobRunning() || chosenCameraRunsTableJob()) {
        tell(UserMessage::info(JobRunningText));
        return;
    }

    const param::ParamFileLoad load = param::loadParamFile(ui->leParamHexFile->text());
    if (load.read.status == param::ReadStatus::OpenFailed)
        tell(param::openFailedMessage());
    const UserMessage refusal = param::refusalBeforeCamera(load);
    if (!refusal.isEmpty()) {
        tell(refusal);
        return;
    }
    if (!probeCamera())
        return;

    DeviceRecord record;
    const bool chosen = selectedRecord(record);
    const param::WritePlan plan =
        param::planWrite(load, chosen, chosen ? record.versionText() : QString());
    if (!plan.refusal.isEmpty()) {
        tell(plan.refusal);
        return;
    }

    JobTask task;
    task.camera = record;
    task.access = channel_;
    task.plan = plan.job;
    task.history.file = ui->leParamHexFile->text();
    task.history.sha256 = load.read.sha256;
    const JobReport report = runBlocking(task);
    if (report.id < 0)
        return;
    if (!report.historyProblem.isEmpty())
        qCWarning(lcOrvanta).noquote() << report.historyProblem;
    tell(endings::message(report.ending));
    if (closeWhenDone_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::on_btnClean_clicked()
{
    const QString path = ui->leParamHexFile->text();
    const param::ReadResult read = param::readParamFile(path);
    if (read.status == param::ReadStatus::OpenFailed)
        tell(param::openFailedMessage());
    if (read.status == param::ReadStatus::TooLarge) {
        param::ParamFileLoad load;
        load.read = read;
        tell(param::refusalBeforeCamera(load));
        return;
    }

    QFile clean(param::cleanFileName(path));
    if (!clean.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        tell(UserMessage::info(texts::openFileFailed()));
        return;
    }
    const QByteArray content = param::cleanFileContent(read.lines);
    bool written = clean.write(content) == content.size() && clean.flush();
    QString error = clean.errorString();
    clean.close();
    if (written && clean.error() != QFileDevice::NoError) {
        written = false;
        error = clean.errorString();
    }
    if (!written) {
        // A half-written copy must not be announced as created.
        tell(UserMessage::info(
            QStringLiteral("Writing %1 failed: %2").arg(clean.fileName(), error)));
        return;
    }
    tell(UserMessage::info(QStringLiteral("Clean hex file created.")));
}

void MainWindow::on_btnWrite_clicked()
{
    if (jobRunning() || chosenCameraRunsTableJob()) {
        tell(UserMessage::info(JobRunningText));
        return;
    }
    if (!probeCamera())
        return;
    // A write like any other: on the runner, under the camera's control
    // privilege, into the history; up to twenty attempts, the window blocked.
    DeviceRecord record;
    selectedRecord(record);
    JobTask task;
    task.camera = record;
    task.access = channel_;
    task.plan = param::controlWordPlan();
    const JobReport report = runBlocking(task);
    if (report.id < 0)
        return;
    if (!report.historyProblem.isEmpty())
        qCWarning(lcOrvanta).noquote() << report.historyProblem;
    if (!endings::succeeded(report.ending))
        tell(endings::message(report.ending));
    if (closeWhenDone_)
        QTimer::singleShot(0, this, &QWidget::close);
}
