// The "Param Hex" row and the two auxiliary slots. The slots gather the
// path, the image and the chosen camera's version, call the units in
// paramflash/, and turn the outcome into one message box.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "devicerecord.h"
#include "paramfile.h"
#include "paramlayout.h"
#include "paramwriter.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include <cstring>
#include <functional>

namespace {

const QString InfoTitle = QStringLiteral("Info");
const QString ErrorTitle = QStringLiteral("Error");

// Reads the parameter file named by the path field and reports what stops
// the reading. The caller goes on with the lines when the file could not be
// opened (as the reading always has), but not when it is too large to be a
// parameter file: nothing may be written from such a file.
param::ReadResult readParamFileReporting(QWidget *parent, const QString &path)
{
    param::ReadResult result = param::readParamFile(path);
    if (result.status == param::ReadStatus::OpenFailed) {
        QMessageBox::information(parent, InfoTitle, QStringLiteral("Open file failed!"));
    } else if (result.status == param::ReadStatus::TooLarge) {
        const QString size = result.size >= 0 ? QStringLiteral("%1 bytes").arg(result.size)
                                              : QStringLiteral("more than the limit");
        QMessageBox::information(
            parent, InfoTitle,
            QStringLiteral("The parameter file is too large to be a parameter file (%1, limit %2 "
                           "bytes). Nothing was written.")
                .arg(size)
                .arg(param::MaxFileSize));
    }
    return result;
}

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
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
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

QString recordVersionText(const DeviceRecord &record)
{
    const int length = int(qstrnlen(record.deviceVersion, sizeof record.deviceVersion));
    return QString::fromUtf8(record.deviceVersion, length);
}

const QString JobRunningText =
    QStringLiteral("A programming job is running; please wait until it has finished.");

}  // namespace

QStringList MainWindow::readParamLines()
{
    return readParamFileReporting(this, ui->leParamHexFile->text()).lines;
}

void MainWindow::buildParamImage(const QStringList &lines)
{
    param::buildParamImage(lines, paramImage.data(), paramBlocks);
}

void MainWindow::on_btnBrowse_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Hex File"), QString(),
                                                      QStringLiteral("*.hex"));
    if (!path.isNull())
        ui->leParamHexFile->setText(path);
}

void MainWindow::on_btnWriteSPI_clicked()
{
    // The bitstream job shares the camera; this slot can also be reached by
    // name while Write is disabled.
    if (jobRunning()) {
        QMessageBox::information(this, InfoTitle, JobRunningText);
        return;
    }

    const param::ReadResult read = readParamFileReporting(this, ui->leParamHexFile->text());
    if (read.status == param::ReadStatus::TooLarge)
        return;
    buildParamImage(read.lines);
    if (paramBlocks.isEmpty()) {
        QMessageBox::information(this, InfoTitle, QStringLiteral("Please select hex file first."));
        return;
    }

    if (!probeCamera())
        return;

    const bool hasFileVersion = param::hasFileVersion(paramImage.data());
    QString cameraVersion;
    QString fileVersion;
    if (hasFileVersion) {
        DeviceRecord record;
        if (!selectedRecord(record)) {
            // The layout depends on the camera's version; without a chosen
            // camera there is nothing to decide it from, so nothing is written.
            QMessageBox::information(this, InfoTitle, QStringLiteral("Please select a camera first."));
            return;
        }
        cameraVersion = recordVersionText(record);
        fileVersion = param::fileVersionText(paramImage.data());
        qDebug() << cameraVersion << fileVersion;
    }
    const param::ParamLayout layout =
        param::chooseParamLayout(cameraVersion, hasFileVersion, fileVersion);
    qDebug() << layout.major << layout.minor << layout.layoutDigit;

    param::ParamWriteOutcome outcome;
    {
        CameraJobScope scope([this](bool on) { setCameraControlsEnabled(on); });
        outcome = param::writeParamImage(channel(), paramImage.data(), layout);
    }

    const param::ParamMessage message = param::outcomeMessage(outcome);
    if (message.critical)
        QMessageBox::critical(this, message.title, message.text);
    else
        QMessageBox::information(this, message.title, message.text);
}

void MainWindow::on_btnClean_clicked()
{
    const QString path = ui->leParamHexFile->text();
    const param::ReadResult read = readParamFileReporting(this, path);
    if (read.status == param::ReadStatus::TooLarge)
        return;

    QFile clean(param::cleanFileName(path));
    if (!clean.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QMessageBox::information(this, InfoTitle, QStringLiteral("Open file failed!"));
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
        QMessageBox::information(this, InfoTitle,
                                 QStringLiteral("Writing %1 failed: %2").arg(clean.fileName(), error));
        return;
    }
    QMessageBox::information(this, InfoTitle, QStringLiteral("Clean hex file created."));
}

void MainWindow::on_btnWrite_clicked()
{
    if (jobRunning()) {
        QMessageBox::information(this, InfoTitle, JobRunningText);
        return;
    }
    if (!probeCamera())
        return;
    flash::Status status;
    {
        CameraJobScope scope([this](bool on) { setCameraControlsEnabled(on); });
        status = param::sendControlWord(channel(), param::FixedControlWord);
    }
    if (status != flash::Status::Ok) {
        QMessageBox::critical(
            this, ErrorTitle,
            QStringLiteral("The camera did not acknowledge the control word 01 34 3E F5 after %1 "
                           "attempts; it may not have been carried out. Check the connection "
                           "and try again.")
                .arg(flash::MaxAttempts));
    }
}
