// Diagnose: the doctor's report in a box, and the camera information's line
// about what the chosen camera does at its next power cycle.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bootstrap.h"
#include "devicelink.h"
#include "doctor.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// A report of hundreds of findings would not fit on the screen.
constexpr int MaxBoxLines = 30;

}  // namespace

void MainWindow::on_btnDiagnose_clicked()
{
    // A discovery of its own in the window's scope: the device list and the
    // chosen camera stay as they are.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DeviceLink scope;
    scope.setSettingsPath(DeviceLink::instance().settingsPath());
    doctor::Observation observation;
    const bool observed = doctor::observe(scope, observation);
    const QList<doctor::Finding> found = doctor::findings(observation);
    QApplication::restoreOverrideCursor();
    if (!observed) {
        tell(UserMessage::error(scope.error()));
        return;
    }

    const QString report = doctor::reportText(found, observation);
    QStringList lines = report.split(QLatin1Char('\n'));
    const int total = lines.size();
    if (total > MaxBoxLines) {
        lines = lines.mid(0, MaxBoxLines);
        lines << QStringLiteral("... and %1 more (orvanta-cli doctor lists them all).")
                     .arg(total - MaxBoxLines);
    }
    // Plain text: camera names come from the network. Selectable, so that a
    // fix can be copied; wide and a blank line apart, so that each finding
    // reads as one.
    QMessageBox box(found.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("Info"), lines.join(QStringLiteral("\n\n")), QMessageBox::Ok,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 640px; }"));
    if (total > MaxBoxLines)
        box.setDetailedText(report);
    box.exec();
}

QString MainWindow::powerCycleLine(const DeviceRecord &record)
{
    const QString key = record.itemText() + QLatin1Char('@') + record.hostIP;
    auto known = powerCycleLines_.constFind(key);
    if (known != powerCycleLines_.constEnd())
        return known.value();
    QString line;
    if (checkSubnet(record) == SubnetCheck::OtherSubnet) {
        // Register reads would only wait for their time-outs.
        line = QStringLiteral("After a power cycle: not known (outside the NIC's subnet)\n");
        powerCycleLines_.insert(key, line);
        return line;
    }
    // A channel of its own: a few bounded register reads.
    CameraChannel camera(record);
    bootstrap::StoredConfiguration stored;
    if (!bootstrap::readStoredConfiguration(camera, stored))
        line = QStringLiteral("After a power cycle: not known (no answer to a register read)\n");
    else if (stored.ipConfig.present)
        line = bootstrap::powerCycleLine(stored) + QLatin1Char('\n');
    powerCycleLines_.insert(key, line);
    return line;
}
