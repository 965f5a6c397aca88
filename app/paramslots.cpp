// The "Param Hex" row and the two auxiliary slots. The slots gather the
// path and the chosen camera, call the parameter writer's sequence in
// paramflash/, and show what it says.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "paramfile.h"
#include "paramwriter.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

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

// Keeps the camera controls disabled and the wait cursor up while a blocking
// camera job runs, and gives both back on every way out. Clicks made during
// the job wait in the window system's queue; without the drain below they
// would reach Write once it is enabled again, and a double click would write
// the camera twice. They are dropped instead, while the job lock still holds,
// so nothing started from the drain can begin another camera job.
class CameraJobScope {
public:
    explicit CameraJobScope(std::function<void(bool)> setControlsEnabled)
        : setEnabled_(std::move(setControlsEnabled))
    {
        setEnabled_(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~CameraJobScope()
    {
        InputSwallower swallower;
        qApp->installEventFilter(&swallower);
        QCoreApplication::processEvents();
        qApp->removeEventFilter(&swallower);
        QApplication::restoreOverrideCursor();
        setEnabled_(true);
    }
    CameraJobScope(const CameraJobScope &) = delete;
    CameraJobScope &operator=(const CameraJobScope &) = delete;

private:
    std::function<void(bool)> setEnabled_;
};

const QString JobRunningText =
    QStringLiteral("A programming job is running; please wait until it has finished.");

}  // namespace

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
    if (jobRunning()) {
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

    flash::JobOutcome outcome;
    {
        CameraJobScope scope([this](bool on) { setCameraControlsEnabled(on); });
        flash::FlashJob job(plan.job);
        outcome = job.run(*channel_);
    }
    tell(param::outcomeMessage(outcome));
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
    if (jobRunning()) {
        tell(UserMessage::info(JobRunningText));
        return;
    }
    if (!probeCamera())
        return;
    flash::BlockResult result;
    {
        CameraJobScope scope([this](bool on) { setCameraControlsEnabled(on); });
        result = flash::sendControlWord(*channel_, param::FixedControlWord);
    }
    if (!result.ok())
        tell(param::controlWordFailedMessage(result));
}
