#include "flashjob.h"

#include "logging.h"

#include <cstring>
#include <vector>

namespace flash {

namespace {

JobOutcome stopped(const BlockResult &block, Phase phase, int sector)
{
    JobOutcome o;
    switch (block.status) {
    case Status::Cancelled: o.result = JobResult::Cancelled; break;
    case Status::CameraError: o.result = JobResult::CameraError; break;
    case Status::Refused: o.result = JobResult::Refused; break;
    case Status::NoAnswer:
    case Status::Ok: o.result = JobResult::NoAnswer; break;
    }
    o.phase = phase;
    o.sector = sector;
    o.cause = block.last;
    return o;
}

}  // namespace

FlashJob::FlashJob(JobPlan plan) : plan_(std::move(plan)) {}

// Whole sectors, every sector inside the image and inside the 16 MiB a
// control word can address, and a read-back for what is only programmed
// when it differs.
bool FlashJob::planIsSound() const
{
    const int sectors = plan_.image.size() / SectorSize;
    if (plan_.image.size() % SectorSize != 0 || plan_.base % SectorSize != 0)
        return false;
    if (qint64(plan_.base) + qint64(plan_.image.size()) > qint64(FlashSize))
        return false;
    for (const QVector<int> *list :
         {&plan_.writeSectors, &plan_.readSectors, &plan_.compareSectors})
        for (int s : *list)
            if (s < 0 || s >= sectors)
                return false;
    return !(plan_.changedOnly && !plan_.verify);
}

JobOutcome FlashJob::run(DeviceAccess &camera, const ProgressCallback &onProgress,
                         const std::atomic<bool> *sharedStop)
{
    const StopFlags stopFlags(&cancel_, sharedStop);
    auto report = [&onProgress](Phase phase, int step, int total, int sector) {
        if (onProgress)
            onProgress(JobProgress{phase, step, total, sector});
    };
    JobOutcome outcome;
    auto stop = [&outcome](const BlockResult &r, Phase phase, int sector) {
        JobOutcome o = stopped(r, phase, sector);
        o.programmed = outcome.programmed;
        o.unchanged = outcome.unchanged;
        return o;
    };
    if (!planIsSound()) {
        qCDebug(lcOrvanta) << "flash job refused: sectors outside the image or the flash";
        outcome.result = JobResult::Refused;
        return outcome;
    }
    if (plan_.kind == JobKind::ControlWord) {
        if (plan_.dryRun)
            return outcome;  // Done: nothing sent
        const quint32 w = plan_.controlWord;
        const quint8 word[4] = {quint8(w >> 24), quint8(w >> 16), quint8(w >> 8), quint8(w)};
        const BlockResult r = sendControlWord(camera, word, stopFlags);
        return r.ok() ? outcome : stop(r, Phase::Writing, -1);
    }
    const bool parameter = plan_.kind == JobKind::Parameter;
    const auto *image = reinterpret_cast<const quint8 *>(plan_.image.constData());
    auto address = [this](int sector) { return plan_.base + quint32(sector) * SectorSize; };
    quint8 sectorBuffer[SectorSize];

    QVector<int> toWrite = plan_.writeSectors;
    if (plan_.changedOnly) {
        toWrite.clear();
        const int total = plan_.writeSectors.size();
        for (int i = 0; i < total; ++i) {
            const int s = plan_.writeSectors[i];
            const BlockResult r = readFlashBlock(camera, sectorBuffer, address(s), stopFlags);
            if (!r.ok())
                return stop(r, Phase::Comparing, s);
            if (std::memcmp(sectorBuffer, image + s * SectorSize, SectorSize) != 0)
                toWrite.append(s);
            else
                ++outcome.unchanged;
            report(Phase::Comparing, i + 1, total, s);
        }
        qCDebug(lcOrvanta) << "sectors that differ" << toWrite.size() << "of" << total;
    }
    outcome.toProgram = toWrite.size();
    outcome.compared = plan_.changedOnly;
    if (plan_.dryRun) {
        outcome.result = toWrite.isEmpty() ? JobResult::Unchanged : JobResult::WouldChange;
        return outcome;
    }
    // What was just compared needs no second read-back.
    if (plan_.changedOnly && toWrite.isEmpty()) {
        outcome.result = JobResult::Unchanged;
        return outcome;
    }

    for (int i = 0; i < toWrite.size(); ++i) {
        const int s = toWrite[i];
        if (stopFlags.raised())
            return stop(BlockResult{Status::Cancelled, {}}, Phase::Writing, s);
        const BlockResult r =
            writeFlashBlock(camera, image + s * SectorSize, address(s), stopFlags);
        if (!r.ok())
            return stop(r, Phase::Writing, s);
        ++outcome.programmed;
        if (parameter)
            qCDebug(lcOrvanta) << "write sector" << s << Qt::hex << s * SectorSize << Qt::dec;
        else
            qCDebug(lcOrvanta) << "program sector" << s << QString::number(address(s), 16);
        report(Phase::Writing, i + 1, toWrite.size(), s);
    }

    if (!plan_.verify) {
        outcome.result = JobResult::Done;
        return outcome;
    }

    const int total = plan_.readSectors.size();
    if (plan_.afterReadBack) {
        // Everything is read before anything is compared, so the read-back
        // can be looked at (dumped) whole.
        QByteArray readBack(plan_.image.size(), '\0');
        auto *buffer = reinterpret_cast<quint8 *>(readBack.data());
        for (int i = 0; i < total; ++i) {
            const int s = plan_.readSectors[i];
            qCDebug(lcOrvanta) << (parameter ? "Block:" : "Read Block:") << s;
            const BlockResult r =
                readFlashBlock(camera, buffer + s * SectorSize, address(s), stopFlags);
            if (!r.ok())
                return stop(r, Phase::ReadingBack, s);
            report(Phase::ReadingBack, i + 1, total, s);
        }
        plan_.afterReadBack(plan_.image, readBack);
        for (int s : plan_.compareSectors) {
            if (std::memcmp(image + s * SectorSize, buffer + s * SectorSize, SectorSize) != 0) {
                outcome.result = JobResult::VerifyError;
                outcome.phase = Phase::ReadingBack;
                outcome.sector = s;
                return outcome;
            }
        }
    } else {
        std::vector<bool> compared(size_t(plan_.image.size() / SectorSize), false);
        for (int s : plan_.compareSectors)
            compared[size_t(s)] = true;
        for (int i = 0; i < total; ++i) {
            const int s = plan_.readSectors[i];
            qCDebug(lcOrvanta) << "Read Block:" << s << "/" << total;
            std::memset(sectorBuffer, 0, sizeof sectorBuffer);
            const BlockResult r = readFlashBlock(camera, sectorBuffer, address(s), stopFlags);
            if (!r.ok())
                return stop(r, Phase::ReadingBack, s);
            if (compared[size_t(s)] &&
                std::memcmp(sectorBuffer, image + s * SectorSize, SectorSize) != 0) {
                outcome.result = JobResult::VerifyError;
                outcome.phase = Phase::ReadingBack;
                outcome.sector = s;
                return outcome;
            }
            report(Phase::ReadingBack, i + 1, total, s);
        }
    }
    outcome.result = JobResult::Success;
    return outcome;
}

}  // namespace flash
