#include "jobrunner.h"

#include "camerachannel.h"
#include "interrupt.h"
#include "progressboard.h"
#include "timerresolution.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

bool CameraResult::succeeded() const
{
    return result == QLatin1String("success") || result == QLatin1String("done");
}

QString identity(const DeviceRecord &record)
{
    return QStringLiteral("%1 %2 %3")
        .arg(record.ipText(), record.macColonText(), DeviceRecord::fieldText(record.serialNumber))
        .trimmed();
}

CameraResult ipCommandResult(const DeviceRecord &record, const ExchangeResult &exchange,
                             const QString &doneText, const QString &failedText)
{
    CameraResult r;
    r.record = record;
    r.result = exchange.ok() ? QStringLiteral("success") : QStringLiteral("no-answer");
    r.message = exchange.ok() ? doneText : failedText;
    if (exchange.kind == ExchangeResult::Kind::CameraStatus) {
        r.result = QStringLiteral("refused");
        r.cameraStatus = exchange.status;
    }
    return r;
}

namespace {

constexpr int ProbeAttempts = 3;

QJsonObject toJson(const CameraResult &r)
{
    QJsonObject o{{"ip", r.record.ipText()},
                  {"mac", r.record.macColonText()},
                  {"serial", DeviceRecord::fieldText(r.record.serialNumber)},
                  {"model", DeviceRecord::fieldText(r.record.modelName)},
                  {"nic", r.record.hostIP},
                  {"result", r.result},
                  {"sector", r.sector >= 0 ? QJsonValue(r.sector) : QJsonValue()},
                  {"message", r.message},
                  {"seconds", qRound(r.seconds * 100) / 100.0}};
    if (r.cameraStatus >= 0)
        o.insert("cameraStatus",
                 QStringLiteral("0x%1").arg(r.cameraStatus, 4, 16, QLatin1Char('0')));
    return o;
}

const char *resultName(flash::JobResult result)
{
    switch (result) {
    case flash::JobResult::Success: return "success";
    case flash::JobResult::Done: return "done";
    case flash::JobResult::VerifyError: return "verify-error";
    case flash::JobResult::NoAnswer: return "no-answer";
    case flash::JobResult::CameraError:
    case flash::JobResult::Refused: return "refused";
    case flash::JobResult::Cancelled: return "cancelled";
    }
    return "refused";
}

QString closingLine(const CameraResult &r)
{
    return identity(r.record) + QStringLiteral(": ") + r.message;
}

CameraResult runOne(const FlashTask &task, flash::FlashJob &job, ProgressBoard &board, int row)
{
    QElapsedTimer clock;
    clock.start();
    CameraResult r;
    r.record = task.record;
    CameraChannel channel(task.record);
    // A few tries: on a lossy link one lost reply must not cost a camera its
    // job when a line of them is programmed.
    if (!cameraAnswers(channel, ProbeAttempts)) {
        r.result = QStringLiteral("no-answer");
        r.message = texts::deviceNotExists();
    } else {
        const flash::JobOutcome outcome =
            job.run(channel, [&](const flash::JobProgress &p) { board.update(row, p); });
        r.result = QString::fromLatin1(resultName(outcome.result));
        r.sector = outcome.sector;
        r.message = task.messageFor(outcome).text;
        if (outcome.result == flash::JobResult::CameraError)
            r.cameraStatus = outcome.cause.status;
    }
    r.seconds = clock.elapsed() / 1000.0;
    return r;
}

}  // namespace

int report(const QList<CameraResult> &results, bool json, bool linesPrinted)
{
    bool allSucceeded = true;
    QJsonArray array;
    for (const CameraResult &r : results) {
        allSucceeded = allSucceeded && r.succeeded();
        array.append(toJson(r));
        if (!json && !linesPrinted)
            std::printf("%s\n", qPrintable(closingLine(r)));
    }
    if (json)
        std::printf("%s", QJsonDocument(array).toJson(QJsonDocument::Indented).constData());
    std::fflush(stdout);
    return allSucceeded ? 0 : 1;
}

QList<CameraResult> runFlashTasks(const QList<FlashTask> &tasks, int parallel, std::FILE *progress,
                                  bool live)
{
    const int count = tasks.size();
    ProgressBoard board(progress, live);
    std::vector<std::unique_ptr<flash::FlashJob>> jobs;
    for (const FlashTask &task : tasks) {
        board.add(identity(task.record), task.plan);
        jobs.emplace_back(new flash::FlashJob(task.plan));
    }
    std::vector<CameraResult> results(static_cast<size_t>(count));
    std::atomic<int> next{0}, finished{0};
    std::atomic<bool> stopping{false};
    auto worker = [&] {
        tightenThreadTimerSlack();
        for (int i = next++; i < count; i = next++) {
            CameraResult &r = results[size_t(i)];
            if (stopping) {
                r.record = tasks[i].record;
                r.result = QStringLiteral("cancelled");
                r.message =
                    QStringLiteral("Stopped before it started; nothing was sent to this camera.");
            } else {
                r = runOne(tasks[i], *jobs[size_t(i)], board, i);
            }
            board.finish(i, r.result, closingLine(r));
            ++finished;
        }
    };

    installInterruptHandler();
    std::vector<std::thread> threads;
    for (int k = 0; k < qMin(parallel, count); ++k)
        threads.emplace_back(worker);
    while (finished < count) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (interruptRequested() && !stopping.exchange(true))
            for (auto &job : jobs)
                job->cancel();
        board.redraw();
    }
    for (std::thread &t : threads)
        t.join();
    board.close();
    return QList<CameraResult>(results.begin(), results.end());
}
