// The main window: the form, the chosen camera's channel, and the slots.
// Each slot gathers its input, calls the core, and shows the result; the
// slots are spread over one file per panel (devicepanel.cpp, ippanel.cpp,
// paramslots.cpp, bitstreamslots.cpp, diagnose.cpp). Flash jobs run on the
// core's job runner.
#pragma once

#include "camerachannel.h"
#include "devicerecord.h"
#include "ipassignment.h"
#include "jobrunner.h"
#include "usermessage.h"

#include <QHash>
#include <QMainWindow>
#include <memory>

class CameraPanel;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void refreshDeviceList();

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
    void on_btnDiagnose_clicked();
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

private:
    void jobProgress(int id, const flash::JobProgress &progress);
    void jobFinished(const JobReport &report);
    // Runs one job on the runner and waits for its ending, the window
    // blocked to input and its camera controls disabled meanwhile.
    JobReport runBlocking(JobTask task);
    // Disables every control that talks to the camera while a flash job runs,
    // and enables them again however the job ends.
    void setCameraControlsEnabled(bool enabled);
    // Which camera controls a job locks: all of them for the window's own
    // job; for the table's jobs, Refresh and the chosen camera's commands
    // when that camera is one of theirs.
    void applyCameraControls();
    bool chosenCameraRunsTableJob() const;
    void fitAddressFields();
    void fitCameraInformation();
    // "After a power cycle: ...\n" for the camera's information, read from the
    // camera once per discovery (or after IP Config); empty when the camera
    // lacks the register.
    QString powerCycleLine(const DeviceRecord &record);
    void tell(const UserMessage &message);
    // Reads register 0 of the chosen camera before a flash job; tells the
    // technician when it does not answer.
    bool probeCamera();
    // The three address fields; false (after telling the user which field is
    // wrong) when one is not a dotted-decimal IPv4 address.
    bool checkedAddressFields(ipassign::Addresses &addresses);

    Ui::MainWindow *ui;
    JobRunner *runner_ = nullptr;
    CameraPanel *cameraPanel_ = nullptr;  // the camera table, docked beside the form
    // The chosen camera. A running job holds its own reference, so choosing
    // again or refreshing never closes a socket a job is using.
    std::shared_ptr<CameraChannel> channel_;
    int bitJobId_ = -1;  // the running bitstream job, if any
    int sectorCount = 0;
    bool jobRunning_ = false;
    bool blockingJob_ = false;    // a job the window waits for (the parameter write)
    bool closeWhenDone_ = false;  // closing was asked for during it

    // The camera information's last line, by list entry and card.
    QHash<QString, QString> powerCycleLines_;
};
