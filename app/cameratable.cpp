#include "cameratable.h"

#include <QBrush>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QStringList>

#include <algorithm>

namespace {

quint32 addressValue(const quint8 ip[4])
{
    return quint32(ip[0]) << 24 | quint32(ip[1]) << 16 | quint32(ip[2]) << 8 | ip[3];
}

quint32 addressValue(const QString &dotted)
{
    quint32 value = 0;
    for (const QString &part : dotted.split(QLatin1Char('.')))
        value = value << 8 | (part.toUInt() & 0xFF);
    return value;
}

// Green for a written camera, red for one that needs the technician, amber for
// a stopped job and for any ending this table does not know by name.
QColor resultColour(const endings::Ending &ending)
{
    if (endings::succeeded(ending))
        return QColor(0xc8, 0xeb, 0xc4);
    switch (ending.result) {
    case endings::Result::VerifyError:
    case endings::Result::NoAnswer:
    case endings::Result::CameraError:
    case endings::Result::Refused:
    case endings::Result::LostControl:  // stopped part-way: the flash may be incomplete
    case endings::Result::NotPresent: return QColor(0xf4, 0xc2, 0xc2);
    default: return QColor(0xf8, 0xe0, 0xa8);
    }
}

QString progressText(flash::JobKind kind, const flash::JobProgress &p)
{
    QString phase;
    switch (p.phase) {
    case flash::Phase::Comparing: phase = QStringLiteral("Compare"); break;
    case flash::Phase::Writing:
        phase =
            kind == flash::JobKind::Parameter ? QStringLiteral("Write") : QStringLiteral("Program");
        break;
    case flash::Phase::ReadingBack: phase = QStringLiteral("Verify"); break;
    }
    return QStringLiteral("%1 %2/%3").arg(phase).arg(p.step).arg(p.total);
}

QString holderText(const control::Holder &holder)
{
    switch (holder.state) {
    case control::Holder::State::Free: return QStringLiteral("free");
    case control::Holder::State::Held:
        return holder.addressKnown ? holder.addressText() : QStringLiteral("held");
    case control::Holder::State::Unknown: break;
    }
    return QStringLiteral("-");
}

}  // namespace

CameraTableModel::CameraTableModel(QObject *parent) : QAbstractTableModel(parent) {}

QString CameraTableModel::keyOf(const DeviceRecord &camera)
{
    return camera.macText() + QLatin1Char('@') + camera.hostIP;
}

void CameraTableModel::setCameras(const QList<DeviceRecord> &cameras)
{
    QSet<QString> checked;
    for (const Row &row : rows_)
        if (row.checked)
            checked.insert(row.key);
    beginResetModel();
    rows_.clear();
    rows_.reserve(cameras.size());
    for (const DeviceRecord &camera : cameras) {
        Row row;
        row.camera = camera;
        row.key = keyOf(camera);
        row.checked = checked.contains(row.key);
        rows_.append(row);
    }
    endResetModel();
}

int CameraTableModel::rowOf(const QString &key) const
{
    for (int i = 0; i < rows_.size(); ++i)
        if (rows_[i].key == key)
            return i;
    return -1;
}

QList<int> CameraTableModel::checkedRows() const
{
    QList<int> rows;
    for (int i = 0; i < rows_.size(); ++i)
        if (rows_[i].checked)
            rows.append(i);
    return rows;
}

void CameraTableModel::setChecked(int row, bool checked)
{
    if (row < 0 || row >= rows_.size() || rows_[row].checked == checked)
        return;
    rows_[row].checked = checked;
    rowChanged(row, Address, Address);
}

void CameraTableModel::checkCardSubnet(const QString &card)
{
    for (int i = 0; i < rows_.size(); ++i) {
        const DeviceRecord &camera = rows_[i].camera;
        setChecked(i, camera.hostIP == card && checkSubnet(camera) == SubnetCheck::SameSubnet &&
                          !isBusy(camera.macText()));
    }
}

void CameraTableModel::setHolder(int row, const control::Holder &holder)
{
    if (row < 0 || row >= rows_.size())
        return;
    rows_[row].holder = holder;
    rows_[row].holderRead = true;
    rowChanged(row, ControlledBy, ControlledBy);
}

void CameraTableModel::setWindowJobMac(const QString &mac)
{
    windowJobMac_ = mac;
    busyChanged();
}

bool CameraTableModel::runsJob(const QString &mac) const
{
    for (const Row &row : rows_)
        if (row.job == JobState::Running && row.camera.macText() == mac)
            return true;
    return false;
}

void CameraTableModel::clearJobs()
{
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_[i].job == JobState::None)
            continue;
        rows_[i].job = JobState::None;
        rowChanged(i, Job, Message);
    }
}

void CameraTableModel::jobQueued(int row, flash::JobKind kind)
{
    if (row < 0 || row >= rows_.size())
        return;
    Row &r = rows_[row];
    r.job = JobState::Running;
    r.kind = kind;
    r.progress = QStringLiteral("Waiting");
    busyChanged();
}

void CameraTableModel::jobProgressed(int row, const flash::JobProgress &progress)
{
    if (row < 0 || row >= rows_.size() || rows_[row].job != JobState::Running)
        return;
    rows_[row].progress = progressText(rows_[row].kind, progress);
    rowChanged(row, Job, Job);
}

void CameraTableModel::jobEnded(int row, const endings::Ending &ending)
{
    if (row < 0 || row >= rows_.size())
        return;
    rows_[row].job = JobState::Ended;
    rows_[row].ending = ending;
    busyChanged();
}

QString CameraTableModel::summary() const
{
    // Running first, then the endings in the catalogue's order.
    QHash<QString, int> counts, rank;
    for (const Row &row : rows_) {
        if (row.job == JobState::None)
            continue;
        const bool ended = row.job == JobState::Ended;
        const QString name = ended ? endings::resultName(row.ending) : QStringLiteral("running");
        const int r = ended ? int(row.ending.result) + 1 : 0;
        rank[name] = rank.contains(name) ? qMin(rank[name], r) : r;
        ++counts[name];
    }
    QStringList names = counts.keys();
    std::sort(names.begin(), names.end(),
              [&rank](const QString &a, const QString &b) { return rank[a] < rank[b]; });
    int cameras = 0;
    QStringList parts;
    for (const QString &name : names) {
        cameras += counts[name];
        parts << QStringLiteral("%1 %2").arg(counts[name]).arg(name);
    }
    if (cameras == 0)
        return QString();
    return QStringLiteral("%1 %2: %3")
        .arg(cameras)
        .arg(cameras == 1 ? QStringLiteral("camera") : QStringLiteral("cameras"))
        .arg(parts.join(QStringLiteral(", ")));
}

int CameraTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows_.size();
}

int CameraTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString CameraTableModel::text(const Row &row, int column) const
{
    const DeviceRecord &c = row.camera;
    switch (column) {
    case Address: return c.ipText();
    case Mac: return c.macColonText();
    case Serial: return DeviceRecord::fieldText(c.serialNumber);
    case Model: return DeviceRecord::fieldText(c.modelName);
    case Firmware: return c.versionText();
    case Card: return c.hostIP;
    case Subnet:
        switch (checkSubnet(c)) {
        case SubnetCheck::SameSubnet: return QString();
        case SubnetCheck::OtherSubnet: return QStringLiteral("outside");
        case SubnetCheck::Undecided: break;
        }
        return QStringLiteral("-");
    case ControlledBy: return row.holderRead ? holderText(row.holder) : QString();
    case Job:
        switch (row.job) {
        case JobState::None: return QString();
        case JobState::Running: return row.progress;
        case JobState::Ended: return endings::resultName(row.ending);
        }
        break;
    case Message: return row.job == JobState::Ended ? endings::message(row.ending).text : QString();
    }
    return QString();
}

QVariant CameraTableModel::sortKey(const Row &row, int column) const
{
    switch (column) {
    case Address: return addressValue(row.camera.ip);
    case Card: return addressValue(row.camera.hostIP);
    default: return text(row, column);
    }
}

QVariant CameraTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return QVariant();
    const Row &row = rows_[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: return text(row, column);
    case SortRole: return sortKey(row, column);
    case Qt::CheckStateRole:
        if (column == Address)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        break;
    case Qt::DecorationRole:
        if (column == Subnet && checkSubnet(row.camera) == SubnetCheck::OtherSubnet)
            return QIcon(QStringLiteral(":/excl.png"));
        break;
    case Qt::BackgroundRole:
        if (column == Job && row.job == JobState::Running)
            return QBrush(QColor(0xd4, 0xe4, 0xf7));
        if ((column == Job || column == Message) && row.job == JobState::Ended)
            return QBrush(resultColour(row.ending));
        break;
    case Qt::ToolTipRole:
        if (column == Message || column == ControlledBy)
            return text(row, column);
        if (column == Subnet && checkSubnet(row.camera) == SubnetCheck::OtherSubnet)
            return QStringLiteral("Outside the subnet of the card %1 it answered on")
                .arg(row.camera.hostIP);
        if (column == Card && !row.camera.interfaceName.isEmpty())
            return row.camera.interfaceName;
        break;
    default: break;
    }
    return QVariant();
}

bool CameraTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != Address || role != Qt::CheckStateRole ||
        !(flags(index) & Qt::ItemIsUserCheckable))
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CameraTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // A camera that is being written cannot be checked for another job.
    if (index.column() == Address && !isBusy(rows_[index.row()].camera.macText()))
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CameraTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const titles[ColumnCount] = {
        "Address", "Serial",   "Job",  "Message", "MAC",
        "Model",   "Firmware", "Card", "Subnet",  "Controlled by"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QString();
}

void CameraTableModel::rowChanged(int row, int first, int last)
{
    emit dataChanged(index(row, first), index(row, last));
}

void CameraTableModel::busyChanged()
{
    // Check boxes turn on and off with every job, and the job columns change.
    if (!rows_.isEmpty())
        emit dataChanged(index(0, Address), index(rows_.size() - 1, ColumnCount - 1));
}
