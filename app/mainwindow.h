// The main window: the form, the chosen camera, the flash buffers, and the
// slots. Each slot gathers its input, calls a unit, and shows the result; the
// slots are spread over one file per panel (devicepanel.cpp, ippanel.cpp,
// paramslots.cpp, bitstreamslots.cpp).
#pragma once

#include "devicechannel.h"
#include "devicerecord.h"
#include "programjob.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <atomic>

QT_BEGIN_NAMESPACE
namespace Ui { class MainWindow; }
QT_END_NAMESPACE
class SendThread;

constexpr int ParamImageSize = 151552;  // 37 sectors of 4,096 bytes

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Access to the chosen camera (forwarded to the channel, usable from the
    // GUI thread and the programming worker).
    bool readReg(quint32 address, quint32 &value);
    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size);
    bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength);
    bool writeMemWord(quint32 address, quint32 value);
    bool readFlashBlock(quint8 *destination, quint32 flashAddress);
    bool forceIp(const QString &ip, const QString &mask, const QString &gateway,
                 const quint8 mac[6]);
    bool configIp(const QString &ip, const QString &mask, const QString &gateway,
                  const quint8 mac[6], int config);

    void refreshDeviceList();
    QStringList readParamLines();
    void buildParamImage(const QStringList &lines);
    void programBitstream();  // runs on the worker thread

    DeviceChannel &channel() { return channel_; }
    // A copy of the record at the current index of the device list; false
    // when the index is not a position in the device table.
    bool selectedRecord(DeviceRecord &record) const;
    // Reads register 0 of the chosen camera before a flash job; tells the
    // technician when it does not answer.
    bool probeCamera();
    bool jobRunning() const { return jobRunning_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void updateStep(int step, bool verify = false);
    void showMsg(QString title, QString msg);
    void on_btnRefresh_clicked();
    void on_cbDevice_currentIndexChanged(int index);
    void on_btnWrite_clicked();
    void on_btnForceIp_clicked();
    void on_btnIPConfig_clicked();
    void on_btnRandomIP_clicked();
    void on_btnBrowse_clicked();
    void on_btnWriteSPI_clicked();
    void on_btnBrowseBit_clicked();
    void on_btnProgramBit_clicked();
    void on_btnClean_clicked();

    // Not in the form's slot table: bookkeeping for the programming job.
    void programJobFinished();
    void showProgramLabel(QString text);

private:
    // Disables every control that talks to the camera while a flash job runs,
    // and enables them again however the job ends.
    void setCameraControlsEnabled(bool enabled);
    void fitAddressFields();
    // The three address fields, normalised; false (after telling the user
    // which field is wrong) when one is not a dotted-decimal IPv4 address.
    bool checkedAddressFields(QString &ip, QString &mask, QString &gateway);
    friend struct MainWindowTestPeer;  // GUI tests reach the job state through it

    Ui::MainWindow *ui;
    SendThread *sendThread = nullptr;
    DeviceChannel channel_;  // deviceSocket, deviceAddr, broadcastAddr
    std::array<quint8, ParamImageSize> paramImage{};
    QList<int> paramBlocks;
    QByteArray bitData;
    std::atomic<int> sectorCount{0};
    BitstreamJobInput bitJob;      // captured on the GUI thread at the click
    std::atomic<bool> jobCancel{false};
    bool jobRunning_ = false;
};
