// MainWindow: construction, teardown, messages, the controls that a flash job
// locks, and the chosen-camera operations (forwarded to the channel).
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "buildstamp.h"
#include "devicelink.h"
#include "flashprotocol.h"
#include "gvcp.h"
#include "sendthread.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

// The warning icon lives in a static library; registering it explicitly at
// static initialisation keeps the linker from dropping the resource.
static int registerResources()
{
    Q_INIT_RESOURCE(resources);
    return 1;
}
static const int resourcesRegistered = registerResources();

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow)
{
    Q_UNUSED(resourcesRegistered);
    ui->setupUi(this);
    fitAddressFields();

    auto *version = new QLabel(versionLabelText(buildStamp()), this);
    statusBar()->addWidget(version, 0);

    DeviceLink::instance().discover(true);
    refreshDeviceList();

    for (quint8 &octet : channel_.broadcastAddr.address)
        octet = 0xFF;
    channel_.broadcastAddr.port = gvcp::Port;

    sendThread = new SendThread(this, [this] { programBitstream(); });
    connect(sendThread, &SendThread::step, this, &MainWindow::updateStep);
    connect(sendThread, &SendThread::msg, this, &MainWindow::showMsg);
    sendThread->start();
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

MainWindow::~MainWindow()
{
    // A running job must never outlive the buffers, the channel or the form it
    // uses: cancel it between two exchanges and wait until the worker has left
    // its loop. Every job is bounded and cancellable, so the wait is bounded.
    jobCancel = true;
    if (sendThread) {
        sendThread->requestStop();
        sendThread->wait();
    }
    delete ui;
    ui = nullptr;
    bitData.clear();
    paramBlocks.clear();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (jobRunning_) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Info"),
            QStringLiteral("A programming job is running. Stop it between two exchanges and "
                           "close? The camera's flash may then be incomplete and must be "
                           "programmed again before power off."),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        jobCancel = true;
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

void MainWindow::setCameraControlsEnabled(bool enabled)
{
    ui->btnRefresh->setEnabled(enabled);
    ui->cbDevice->setEnabled(enabled);
    ui->btnWriteSPI->setEnabled(enabled);
    ui->btnProgramBit->setEnabled(enabled);
    ui->btnForceIp->setEnabled(enabled);
    ui->btnIPConfig->setEnabled(enabled);
    jobRunning_ = !enabled;
}

bool MainWindow::probeCamera()
{
    quint32 value = 0;
    if (readReg(0, value))
        return true;
    QMessageBox::information(this, QStringLiteral("Info"),
                             QStringLiteral("Device not exists, please fresh."));
    return false;
}

bool MainWindow::readReg(quint32 address, quint32 &value)
{
    return channel_.readReg(address, value);
}

bool MainWindow::readMem(quint32 address, quint32 count, quint8 *buffer, int &size)
{
    return channel_.readMem(address, count, buffer, size);
}

bool MainWindow::writeMem(quint16 address, const quint8 *data, int length, int paddedLength)
{
    return channel_.writeMem(address, data, length, paddedLength);
}

bool MainWindow::writeMemWord(quint32 address, quint32 value)
{
    return channel_.writeMemWord(address, value);
}

bool MainWindow::readFlashBlock(quint8 *destination, quint32 flashAddress)
{
    return flash::readFlashBlock(channel_, destination, flashAddress, &jobCancel)
           == flash::Status::Ok;
}

bool MainWindow::forceIp(const QString &ip, const QString &mask, const QString &gateway,
                         const quint8 mac[6])
{
    return channel_.forceIp(ip, mask, gateway, mac);
}

bool MainWindow::configIp(const QString &ip, const QString &mask, const QString &gateway,
                          const quint8 mac[6], int config)
{
    return channel_.configIp(ip, mask, gateway, mac, config);
}
