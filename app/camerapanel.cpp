#include "camerapanel.h"

#include "bitfilename.h"
#include "devicelink.h"
#include "firmwareversion.h"
#include "paramwriter.h"
#include "programjob.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// As the command line does: on a busy line one lost reply must not cost a
// camera its job.
constexpr int ProbeAttempts = 3;
constexpr int PanelWidth = 860;

QString cameraName(const DeviceRecord &camera)
{
    const QString serial = DeviceRecord::fieldText(camera.serialNumber);
    return serial.isEmpty() ? camera.ipText()
                            : QStringLiteral("%1 (%2)").arg(camera.ipText(), serial);
}

FirmwareVersion versionOf(const DeviceRecord &camera)
{
    return FirmwareVersion::fromText(camera.versionText());
}

}  // namespace

CameraPanel::CameraPanel(JobRunner *runner, QComboBox *deviceList, QLineEdit *paramFile,
                         QLineEdit *bitFile, QWidget *parent)
    : QWidget(parent), runner_(runner), deviceList_(deviceList), paramFile_(paramFile),
      bitFile_(bitFile), model_(new CameraTableModel(this)),
      proxy_(new QSortFilterProxyModel(this)), table_(new QTableView(this)),
      filter_(new QLineEdit(this)), cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      summary_(new QLabel(this)),
      holders_(this, [this](const QString &key, const control::Holder &holder) {
          model_->setHolder(model_->rowOf(key), holder);
      })
{
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(CameraTableModel::SortRole);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

    table_->setObjectName(QStringLiteral("cameraTable"));
    table_->setModel(proxy_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 8);
    // Unsorted until a header is clicked: the device list's order.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    const int widths[CameraTableModel::ColumnCount] = {115, 80, 95, 230, 125, 80, 65, 90, 85, 150};
    for (int c = 0; c < CameraTableModel::ColumnCount; ++c)
        table_->horizontalHeader()->resizeSection(c, widths[c]);

    filter_->setObjectName(QStringLiteral("leCameraFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setClearButtonEnabled(true);
    auto *subnet = new QPushButton(QStringLiteral("Select all in this card's subnet"), this);
    subnet->setObjectName(QStringLiteral("btnCheckCardSubnet"));
    auto *program = new QPushButton(QStringLiteral("Program checked"), this);
    program->setObjectName(QStringLiteral("btnProgramChecked"));
    auto *write = new QPushButton(QStringLiteral("Write param to checked"), this);
    write->setObjectName(QStringLiteral("btnWriteParamChecked"));
    cancel_->setObjectName(QStringLiteral("btnCancelJobs"));
    cancel_->setEnabled(false);
    summary_->setObjectName(QStringLiteral("lblJobSummary"));

    auto *top = new QHBoxLayout;
    top->addWidget(filter_, 1);
    top->addWidget(subnet);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(program);
    bottom->addWidget(write);
    bottom->addWidget(cancel_);
    bottom->addWidget(summary_, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);

    connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
    connect(subnet, &QPushButton::clicked, this, &CameraPanel::checkCardSubnet);
    connect(program, &QPushButton::clicked, this, &CameraPanel::programChecked);
    connect(write, &QPushButton::clicked, this, &CameraPanel::writeParamChecked);
    connect(cancel_, &QPushButton::clicked, this, &CameraPanel::cancelJobs);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CameraPanel::rowChosen);
    connect(runner_, &JobRunner::progress, this, &CameraPanel::jobProgress);
    connect(runner_, &JobRunner::finished, this, &CameraPanel::jobFinished);
}

CameraPanel *CameraPanel::install(QMainWindow *window, JobRunner *runner, QComboBox *deviceList,
                                  QLineEdit *paramFile, QLineEdit *bitFile)
{
    auto *panel = new CameraPanel(runner, deviceList, paramFile, bitFile);
    auto *dock = new QDockWidget(QStringLiteral("Camera table"), window);
    dock->setObjectName(QStringLiteral("cameraDock"));
    dock->setWidget(panel);
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    window->menuBar()->addAction(dock->toggleViewAction());
    // Shown beside the form, the table gets room of its own instead of
    // squeezing the form.
    QObject::connect(dock, &QDockWidget::visibilityChanged, window, [window, dock](bool visible) {
        if (!visible || dock->isFloating() || window->isMaximized() || window->isFullScreen())
            return;
        const int wanted = window->centralWidget()->width() + PanelWidth;
        const int room = window->screen() ? window->screen()->availableGeometry().width() : wanted;
        if (window->width() < qMin(wanted, room)) {
            window->resize(qMin(wanted, room), window->height());
            window->resizeDocks({dock}, {PanelWidth}, Qt::Horizontal);
        }
    });
    return panel;
}

void CameraPanel::reload()
{
    model_->setCameras(DeviceLink::instance().devices());
    holdersStale_ = true;
    if (isVisible())
        readHolders();
    showCamera(deviceList_->currentIndex());
}

void CameraPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (holdersStale_)
        readHolders();
}

// Only while the table is shown: a hidden table sends nothing to any camera.
void CameraPanel::readHolders()
{
    holdersStale_ = false;
    QList<DeviceRecord> cameras;
    QStringList keys;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const DeviceRecord &camera = model_->camera(row);
        if (model_->isBusy(camera.macText()))
            continue;
        cameras << camera;
        keys << CameraTableModel::keyOf(camera);
    }
    holders_.read(cameras, keys);
}

void CameraPanel::showCamera(int deviceIndex)
{
    const QModelIndex shown = proxy_->mapFromSource(model_->index(deviceIndex, 0));
    following_ = true;
    if (shown.isValid()) {
        table_->setCurrentIndex(shown);
        table_->scrollTo(shown);
    } else {
        table_->clearSelection();
    }
    following_ = false;
}

void CameraPanel::rowChosen(const QModelIndex &current)
{
    if (following_ || !current.isValid())
        return;
    // While the window's own job runs, the list keeps its camera.
    if (!deviceList_->isEnabled()) {
        QMetaObject::invokeMethod(
            this, [this] { showCamera(deviceList_->currentIndex()); }, Qt::QueuedConnection);
        return;
    }
    deviceList_->setCurrentIndex(proxy_->mapToSource(current).row());
}

void CameraPanel::setWindowJobCamera(const QString &mac) { model_->setWindowJobMac(mac); }

void CameraPanel::checkCardSubnet()
{
    const QModelIndex current = proxy_->mapToSource(table_->currentIndex());
    if (!current.isValid()) {
        tell(UserMessage::info(texts::selectCameraFirst()));
        return;
    }
    model_->checkCardSubnet(model_->camera(current.row()).hostIP);
}

bool CameraPanel::checkedCameras(QList<int> &rows)
{
    rows.clear();
    QHash<QString, int> rowOfMac;
    for (int row : model_->checkedRows()) {
        const DeviceRecord &camera = model_->camera(row);
        const QString mac = camera.macText();
        if (model_->isBusy(mac))
            continue;
        if (rowOfMac.contains(mac)) {
            // Two jobs on one camera would write its flash twice at once.
            tell(UserMessage::info(
                QStringLiteral("%1 is checked twice: it answers on the cards %2 and %3. Check it "
                               "once.")
                    .arg(cameraName(camera), model_->camera(rowOfMac.value(mac)).hostIP,
                         camera.hostIP)));
            return false;
        }
        rowOfMac.insert(mac, row);
        rows.append(row);
    }
    if (rows.isEmpty())
        tell(UserMessage::info(QStringLiteral(
            "Please check the cameras in the table first (a camera that runs a job is left "
            "out).")));
    return !rows.isEmpty();
}

void CameraPanel::programChecked()
{
    QList<int> rows;
    if (!checkedCameras(rows))
        return;
    // The single camera's refusals, in its order, before anything is sent.
    const QString path = bitFile_->text();
    const bitstream::Preflight early = bitstream::preflight(path, FirmwareVersion());
    if (early.kind == bitstream::Preflight::Kind::Refuse)
        return tell(early.message);
    const BitFileName name = checkBitFileName(path);
    if (name != BitFileName::Valid)
        return tell(UserMessage::info(bitFileNameMessage(name)));
    UserMessage question;
    int asking = 0;
    for (int row : rows) {
        const bitstream::Preflight check =
            bitstream::preflight(path, versionOf(model_->camera(row)));
        if (check.kind == bitstream::Preflight::Kind::Refuse)
            return tell(check.message);
        if (check.kind == bitstream::Preflight::Kind::Ask && asking++ == 0)
            question = check.message;
    }
    if (asking > 0) {
        // Asked once for all of them.
        QString text = question.text;
        if (rows.size() > 1)
            text += QStringLiteral("\n\nThis concerns %1 of the %2 checked cameras.")
                        .arg(asking)
                        .arg(rows.size());
        if (QMessageBox::question(window(), question.title, text,
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    const bitstream::BitstreamLoad load = bitstream::loadBitstream(path);
    if (load.status != bitstream::LoadStatus::Ok)
        return tell(bitstream::loadFailedMessage(load.status));

    QList<JobTask> tasks;
    for (int row : rows) {
        JobTask task;
        task.camera = model_->camera(row);
        task.plan = bitstream::planProgram(load.data, versionOf(task.camera).canReadBack());
        task.probeAttempts = ProbeAttempts;
        tasks.append(task);
    }
    startJobs(rows, tasks);
}

void CameraPanel::writeParamChecked()
{
    QList<int> rows;
    if (!checkedCameras(rows))
        return;
    const param::ParamFileLoad load = param::loadParamFile(paramFile_->text());
    if (load.read.status == param::ReadStatus::OpenFailed)
        tell(param::openFailedMessage());
    const UserMessage refusal = param::refusalBeforeCamera(load);
    if (!refusal.isEmpty())
        return tell(refusal);

    QList<JobTask> tasks;
    for (int row : rows) {
        const DeviceRecord &camera = model_->camera(row);
        param::WritePlan plan = param::planWrite(load, true, camera.versionText());
        if (!plan.refusal.isEmpty()) {
            UserMessage m = plan.refusal;
            m.text = cameraName(camera) + QStringLiteral(": ") + m.text;
            return tell(m);
        }
        // No dump files: those of several cameras would overwrite each other
        // in the working folder.
        plan.job.afterReadBack = nullptr;
        JobTask task;
        task.camera = camera;
        task.plan = plan.job;
        task.probeAttempts = ProbeAttempts;
        tasks.append(task);
    }
    startJobs(rows, tasks);
}

void CameraPanel::startJobs(const QList<int> &rows, const QList<JobTask> &tasks)
{
    // A new batch starts a new board; one started while others run joins it.
    if (jobs_.isEmpty())
        model_->clearJobs();
    for (int i = 0; i < tasks.size(); ++i) {
        model_->jobQueued(rows[i], tasks[i].plan.kind);
        jobs_.insert(runner_->start(tasks[i]), CameraTableModel::keyOf(tasks[i].camera));
    }
    jobsUpdated();
}

void CameraPanel::jobProgress(int id, const flash::JobProgress &progress)
{
    const auto it = jobs_.constFind(id);
    if (it != jobs_.constEnd())
        model_->jobProgressed(model_->rowOf(it.value()), progress);
}

void CameraPanel::jobFinished(const JobReport &report)
{
    const auto it = jobs_.find(report.id);
    if (it == jobs_.end())
        return;
    model_->jobEnded(model_->rowOf(it.value()), report.ending);
    jobs_.erase(it);
    jobsUpdated();
}

void CameraPanel::cancelJobs()
{
    for (auto it = jobs_.constBegin(); it != jobs_.constEnd(); ++it)
        runner_->cancel(it.key());
}

void CameraPanel::jobsUpdated()
{
    summary_->setText(model_->summary());
    cancel_->setEnabled(!jobs_.isEmpty());
    emit jobsChanged();
}

void CameraPanel::tell(const UserMessage &message)
{
    if (message.kind == UserMessage::Kind::Critical)
        QMessageBox::critical(window(), message.title, message.text);
    else
        QMessageBox::information(window(), message.title, message.text);
}
