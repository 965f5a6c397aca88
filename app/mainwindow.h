// The main window: the form, the chosen camera's channel, and the slots.
// Each slot gathers its input, calls the core, and shows the result; the
// slots are spread over one file per panel (devicepanel.cpp, ippanel.cpp,
// paramslots.cpp, bitstreamslots.cpp).
#pragma once

#include "camerachannel.h"
#include "devicerecord.h"
#include "flashjob.h"
#include "ipassignment.h"
#include "usermessage.h"

#include <QMainWindow>
#include <QMutex>
#include <atomic>
#include <memory>

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE
class SendThread;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void refreshDeviceList();
    void programBitstream();  // runs on the worker thread

    // A copy of the record at the current index of the device list; false
    // when the index is not a position in the device table.
    bool selectedRecord(DeviceRecord &record) const;
    bool jobRunning() const { return jobRunning_; }
    // The chosen camera's channel; null before the first choice.
    std::shared_ptr<CameraChannel> chosenCamera() const { return channel_; }

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
    void tell(const UserMessage &message);
    // Reads register 0 of the chosen camera before a flash job; tells the
    // technician when it does not answer.
    bool probeCamera();
    // The three address fields; false (after telling the user which field is
    // wrong) when one is not a dotted-decimal IPv4 address.
    bool checkedAddressFields(ipassign::Addresses &addresses);

    Ui::MainWindow *ui;
    SendThread *sendThread = nullptr;
    // The chosen camera. A running job holds its own reference, so choosing
    // again or refreshing never closes a socket a job is using.
    std::shared_ptr<CameraChannel> channel_;

    // The bitstream job: its inputs, taken on the GUI thread at the click,
    // and the job itself while the worker runs it.
    struct BitstreamRequest {
        QString path;
        bool cameraSelected = false;
        QString deviceVersion;
        std::shared_ptr<CameraChannel> channel;
    } bitRequest_;
    QMutex jobLock_;
    std::shared_ptr<flash::FlashJob> activeJob_;
    std::atomic<bool> closing_{false};
    std::atomic<int> sectorCount{0};
    bool jobRunning_ = false;
};
