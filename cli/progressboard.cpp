#include "progressboard.h"

#include "interrupt.h"

#include <QDateTime>
#include <QMutexLocker>

int ProgressBoard::add(const QString &identity, const flash::JobPlan &plan)
{
    Row row;
    row.identity = identity;
    row.writeWord = plan.kind == flash::JobKind::Parameter ? QStringLiteral("Write")
                                                           : QStringLiteral("Program");
    row.compareTotal = plan.changedOnly ? plan.writeSectors.size() : 0;
    row.writeTotal = plan.writeSectors.size();
    row.readTotal = plan.verify ? plan.readSectors.size() : 0;
    QMutexLocker lock(&lock_);
    rows_.append(row);
    return rows_.size() - 1;
}

int ProgressBoard::percent(const Row &row)
{
    const int total = row.compareTotal + row.writeTotal + row.readTotal;
    return total > 0 ? (row.compared + row.written + row.read) * 100 / total : 100;
}

QString ProgressBoard::lineOf(const Row &row) const
{
    if (!row.result.isEmpty())
        return QStringLiteral("%1  %2  %3").arg(row.identity, row.phaseText, row.result);
    return QStringLiteral("%1  %2  %3%").arg(row.identity, row.phaseText).arg(percent(row));
}

void ProgressBoard::update(int camera, const flash::JobProgress &p)
{
    QMutexLocker lock(&lock_);
    Row &row = rows_[camera];
    switch (p.phase) {
    case flash::Phase::Comparing:
        row.compared = p.step;
        row.phaseText = QStringLiteral("Compare");
        break;
    case flash::Phase::Writing:
        row.compared = row.compareTotal;
        row.writingSeen = true;
        row.writeTotal = p.total;
        row.written = p.step;
        row.phaseText = row.writeWord;
        break;
    case flash::Phase::ReadingBack:
        row.compared = row.compareTotal;
        if (!row.writingSeen)
            row.writeTotal = 0;  // every sector was already there
        row.written = row.writeTotal;
        row.read = p.step;
        row.phaseText = QStringLiteral("Verify");
        break;
    }
    row.phaseText += QStringLiteral(" %1/%2").arg(p.step).arg(p.total);
    const int tenth = percent(row) / 10;
    if (!live_ && out_ && tenth > row.tenth) {
        std::fprintf(out_, "%s\n", qPrintable(lineOf(row)));
        std::fflush(out_);
    }
    row.tenth = qMax(row.tenth, tenth);
}

void ProgressBoard::finish(int camera, const QString &result, const QString &closingLine)
{
    QMutexLocker lock(&lock_);
    rows_[camera].result = result;
    rows_[camera].closingLine = closingLine;
}

void ProgressBoard::redraw()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!live_ || !out_ || now - lastDraw_ < 200)
        return;
    lastDraw_ = now;
    // A line that wrapped would throw the cursor-up count off.
    const int width = terminalColumns(out_) - 1;
    QMutexLocker lock(&lock_);
    if (drawnLines_ > 0)
        std::fprintf(out_, "\033[%dA", drawnLines_);
    for (const Row &row : rows_)
        std::fprintf(out_, "\r\033[K%s\n", qPrintable(lineOf(row).left(width)));
    drawnLines_ = rows_.size();
    std::fflush(out_);
}

void ProgressBoard::close()
{
    if (!out_)
        return;
    QMutexLocker lock(&lock_);
    // The closing lines may wrap: the board goes first, whole.
    if (live_ && drawnLines_ > 0)
        std::fprintf(out_, "\033[%dA\r\033[J", drawnLines_);
    for (const Row &row : rows_)
        std::fprintf(out_, "%s\n", qPrintable(row.closingLine));
    drawnLines_ = 0;
    std::fflush(out_);
}
