// The camera table: one row per entry of the device list (the same order, so
// a row's number is its index into the device table), with a check box, who
// controls the camera where it says so, and the state of the row's flash job.
// A camera is known across a Refresh by its MAC and the card it answered on,
// so the checks survive a new discovery.
#pragma once

#include "control.h"
#include "devicerecord.h"
#include "endings.h"
#include "flashjob.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSet>

class CameraTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Who and how the job goes first; what discovery said after it.
    enum Column {
        Address,  // carries the check box
        Serial,
        Job,
        Message,
        Mac,
        Model,
        Firmware,
        Card,
        Subnet,
        ControlledBy,
        ColumnCount
    };
    // What the proxy sorts by: addresses as numbers, the rest as shown.
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit CameraTableModel(QObject *parent = nullptr);

    // "020000000101@192.0.2.1": a camera as reached through one card.
    static QString keyOf(const DeviceRecord &camera);

    // A new discovery: the rows of `cameras`, checks kept by key, job states dropped.
    void setCameras(const QList<DeviceRecord> &cameras);
    const DeviceRecord &camera(int row) const { return rows_[row].camera; }
    int rowOf(const QString &key) const;

    QList<int> checkedRows() const;
    void setChecked(int row, bool checked);
    // Checks exactly the cameras that answered on `card` and sit in its subnet.
    void checkCardSubnet(const QString &card);

    void setHolder(int row, const control::Holder &holder);

    // The window's own job (one camera, by MAC; empty: none): its rows cannot be checked.
    void setWindowJobMac(const QString &mac);
    // A camera (by MAC) has a table job waiting or running.
    bool runsJob(const QString &mac) const;
    bool isBusy(const QString &mac) const { return runsJob(mac) || mac == windowJobMac_; }

    // Forgets every job state (a new batch of jobs starts).
    void clearJobs();
    void jobQueued(int row, flash::JobKind kind);
    void jobProgressed(int row, const flash::JobProgress &progress);
    void jobEnded(int row, const endings::Ending &ending);
    // "8 cameras: 2 running, 5 success, 1 no-answer"; empty without jobs.
    QString summary() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    enum class JobState { None, Running, Ended };
    struct Row {
        DeviceRecord camera;
        QString key;
        bool checked = false;
        bool holderRead = false;
        control::Holder holder;
        JobState job = JobState::None;
        flash::JobKind kind = flash::JobKind::Bitstream;
        QString progress;  // "Program 3/12" while it runs
        endings::Ending ending;
    };
    QString text(const Row &row, int column) const;
    QVariant sortKey(const Row &row, int column) const;
    void rowChanged(int row, int first = Address, int last = ColumnCount - 1);
    void busyChanged();

    QList<Row> rows_;
    QString windowJobMac_;
};
