// The camera table's panel, docked beside the form and shown from the menu
// bar: the table (sortable, filtered by text), the subnet selection, and the
// flash jobs on every checked camera at once, each camera its own job on the
// window's job runner, with the files of the Programming panel. The window
// stays usable meanwhile; only the running cameras' controls are locked.
#pragma once

#include "cameratable.h"
#include "holderreads.h"
#include "jobrunner.h"
#include "usermessage.h"

#include <QHash>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

class CameraPanel : public QWidget {
    Q_OBJECT

public:
    // `deviceList`: the window's camera list, which a row's choice follows;
    // the two path fields are read when a job starts.
    CameraPanel(JobRunner *runner, QComboBox *deviceList, QLineEdit *paramFile, QLineEdit *bitFile,
                QWidget *parent = nullptr);

    // Puts a new panel in a dock of `window` (hidden) and its switch in the menu bar.
    static CameraPanel *install(QMainWindow *window, JobRunner *runner, QComboBox *deviceList,
                                QLineEdit *paramFile, QLineEdit *bitFile);

    // After every discovery: the rows of the device table.
    void reload();
    // The device list chose camera `deviceIndex`: its row becomes the current one.
    void showCamera(int deviceIndex);
    // The window's own job runs on this camera (empty: it has ended).
    void setWindowJobCamera(const QString &mac);

    int runningCount() const { return int(jobs_.size()); }
    // A table job runs (or waits) on this camera.
    bool runsJobOn(const QString &mac) const { return model_->runsJob(mac); }

signals:
    // A table job started or ended: which cameras are locked has changed.
    void jobsChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void programChecked();
    void writeParamChecked();
    void cancelJobs();
    void checkCardSubnet();
    void rowChosen(const QModelIndex &current);
    // The checked cameras that run no job, each camera once; false (after
    // telling why) when there is none or one is checked through two cards.
    bool checkedCameras(QList<int> &rows);
    void startJobs(const QList<int> &rows, const QList<JobTask> &tasks);
    void jobProgress(int id, const flash::JobProgress &progress);
    void jobFinished(const JobReport &report);
    void jobsUpdated();
    void readHolders();
    void tell(const UserMessage &message);

    JobRunner *runner_;
    QComboBox *deviceList_;
    QLineEdit *paramFile_;
    QLineEdit *bitFile_;
    CameraTableModel *model_;
    QSortFilterProxyModel *proxy_;
    QTableView *table_;
    QLineEdit *filter_;
    QPushButton *cancel_;
    QLabel *summary_;
    QHash<int, QString> jobs_;  // job id -> the camera's key in the table
    bool following_ = false;    // the table follows the device list; no echo back
    bool holdersStale_ = true;  // a discovery happened while the panel was hidden
    HolderReads holders_;       // last: its threads are joined before the rest goes
};
