#include "endings.h"

namespace endings {

namespace {

Result resultOf(const ExchangeResult &exchange)
{
    if (exchange.ok())
        return Result::Success;
    return exchange.kind == ExchangeResult::Kind::CameraStatus ? Result::CameraError
                                                               : Result::NoAnswer;
}

UserMessage ipFailure(const QString &text)
{
    return {UserMessage::Kind::Information, QStringLiteral("Error"), text};
}

const QString ForceIpFailed = QStringLiteral("ForceIP failed.");
const QString ConfigFailed = QStringLiteral("IP configure failed.");

// " (192.0.2.50, port 50123)", or nothing when the camera does not say.
QString holderInBrackets(const Ending &e)
{
    const QString address = e.holder.addressText();
    return address.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(address);
}

// "Another application (192.0.2.50, port 50123) took control of the camera while "
QString tookControlWhile(const Ending &e)
{
    return QStringLiteral("Another application%1 took control of the camera while ")
        .arg(holderInBrackets(e));
}

// changed-only reads every sector before it writes one: a job that ended
// there, however it ended, left the camera as it was.
UserMessage comparingMessage(const Ending &e)
{
    const QString where =
        QStringLiteral("comparing sector %1, before anything was %2; the flash was not changed.")
            .arg(e.sector)
            .arg(e.operation == Operation::WriteParam ? QStringLiteral("written")
                                                      : QStringLiteral("programmed"));
    switch (e.result) {
    case Result::NoAnswer:
        return UserMessage::error(QStringLiteral("The camera stopped answering while ") + where +
                                  QStringLiteral(" Check the connection and try again."));
    case Result::CameraError:
        return UserMessage::error(QStringLiteral("The camera answered with error status %1 while ")
                                      .arg(cameraStatusText(e.cameraStatus)) +
                                  where);
    case Result::Cancelled: return UserMessage::error(QStringLiteral("Stopped while ") + where);
    default: break;
    }
    return UserMessage::error(tookControlWhile(e) + where);
}

UserMessage lostControlMessage(const Ending &e)
{
    const QString took = tookControlWhile(e);
    const QString sector = QString::number(e.sector);
    if (e.operation == Operation::WriteParam)
        return UserMessage::error(
            e.phase != flash::Phase::ReadingBack
                ? took + QStringLiteral("writing sector %1. The parameter area may be incomplete: "
                                        "write the parameters again before power off!")
                             .arg(sector)
                : took + QStringLiteral("reading back sector %1. The parameters were written but "
                                        "not verified: write the parameters again before power "
                                        "off!")
                             .arg(sector));
    if (e.phase != flash::Phase::ReadingBack)
        return UserMessage::error(took + QStringLiteral("programming sector %1. The flash may be "
                                                        "incomplete: program again before power "
                                                        "off!")
                                             .arg(sector));
    return UserMessage::error(took + QStringLiteral("verifying sector %1. The bitstream was "
                                                    "written but not verified: program again "
                                                    "before power off!")
                                         .arg(sector));
}

UserMessage parameterMessage(const Ending &e)
{
    const bool writing = e.phase != flash::Phase::ReadingBack;
    switch (e.result) {
    case Result::Success: return UserMessage::info(QStringLiteral("Write param success!"));
    case Result::Done: return UserMessage::info(QStringLiteral("Write param done!"));
    case Result::VerifyError:
        return UserMessage::error(
            QStringLiteral("Verify error(%1), please rewrite param before power off!")
                .arg(e.sector));
    case Result::NoAnswer:
        return UserMessage::error(
            writing ? QStringLiteral("The camera stopped answering while writing sector %1. The "
                                     "parameter area may be incomplete: check the connection and "
                                     "write the parameters again before power off!")
                          .arg(e.sector)
                    : QStringLiteral("The camera stopped answering while reading back sector %1. "
                                     "The parameters were written but could not be verified: "
                                     "check the connection and write the parameters again before "
                                     "power off!")
                          .arg(e.sector));
    case Result::CameraError:
        return UserMessage::error(
            QStringLiteral("The camera answered with error status %1 while %2 sector %3. The "
                           "parameter area may be incomplete: write the parameters again before "
                           "power off!")
                .arg(cameraStatusText(e.cameraStatus),
                     writing ? QStringLiteral("writing") : QStringLiteral("reading back"))
                .arg(e.sector));
    case Result::Refused:
        return UserMessage::error(
            QStringLiteral("The parameter image does not fit the camera's flash; nothing was "
                           "written."));
    case Result::Cancelled:
        return UserMessage::error(
            writing ? QStringLiteral("The write was stopped at sector %1. The parameter area may "
                                     "be incomplete: write the parameters again before power off!")
                          .arg(e.sector)
                    : QStringLiteral("The read-back was stopped at sector %1. The parameters were "
                                     "written but not verified: write the parameters again before "
                                     "power off!")
                          .arg(e.sector));
    case Result::WouldChange:
        return UserMessage::info(
            e.sectorsCompared > 0
                ? QStringLiteral("Dry run: %1 of %2 parameter sectors differ from the file and "
                                 "would be written; nothing was written.")
                      .arg(e.sectorsToProgram)
                      .arg(e.sectorsCompared)
                : QStringLiteral("Dry run: %1 parameter sectors would be written; nothing was "
                                 "written.")
                      .arg(e.sectorsToProgram));
    case Result::Unchanged:
        return UserMessage::info(QStringLiteral(
            "Unchanged: the camera already holds these parameters; nothing was written."));
    case Result::NotPresent:
    case Result::NotStarted:
    case Result::InUse:
    case Result::LostControl: break;
    }
    return {};
}

UserMessage bitstreamMessage(const Ending &e)
{
    const bool verifying = e.phase == flash::Phase::ReadingBack;
    switch (e.result) {
    case Result::Success: return UserMessage::info(QStringLiteral("Program success!"));
    case Result::Done: return UserMessage::info(QStringLiteral("Program done!"));
    case Result::VerifyError:
        return UserMessage::error(
            QStringLiteral("Verify error, please reprogram before power off!(%1)").arg(e.sector));
    case Result::NoAnswer:
        return UserMessage::error(
            verifying
                ? QStringLiteral("The camera stopped answering while verifying sector %1. The "
                                 "bitstream was written but could not be verified: check the "
                                 "connection and program again before power off!")
                      .arg(e.sector)
                : QStringLiteral("The camera stopped answering while programming sector %1. The "
                                 "flash may be incomplete: check the connection and program again "
                                 "before power off!")
                      .arg(e.sector));
    case Result::CameraError:
        return UserMessage::error(
            QStringLiteral("The camera answered with error status %1 while %2 sector %3. The "
                           "flash may be incomplete: program again before power off!")
                .arg(cameraStatusText(e.cameraStatus),
                     verifying ? QStringLiteral("verifying") : QStringLiteral("programming"))
                .arg(e.sector));
    case Result::Refused:
        return UserMessage::error(
            QStringLiteral("The bitstream file is larger than the camera's 16 MB flash and "
                           "cannot be programmed."));
    case Result::Cancelled:
        if (!verifying)
            return UserMessage::error(
                QStringLiteral("Stopped while programming sector %1. The flash may be "
                               "incomplete: program again before power off!")
                    .arg(e.sector));
        return UserMessage::error(
            QStringLiteral("Stopped while verifying sector %1. The bitstream was written but not "
                           "verified: program again before power off!")
                .arg(e.sector));
    case Result::WouldChange:
        return UserMessage::info(
            e.sectorsCompared > 0
                ? QStringLiteral("Dry run: %1 of %2 sectors differ from the file and would be "
                                 "programmed; nothing was written.")
                      .arg(e.sectorsToProgram)
                      .arg(e.sectorsCompared)
                : QStringLiteral("Dry run: %1 sectors would be programmed; nothing was written.")
                      .arg(e.sectorsToProgram));
    case Result::Unchanged:
        return UserMessage::info(QStringLiteral(
            "Unchanged: the camera already holds this bitstream; nothing was programmed."));
    case Result::NotPresent:
    case Result::NotStarted:
    case Result::InUse:
    case Result::LostControl: break;
    }
    return {};
}

// The one fixed control word the window can send (by name only).
UserMessage controlWordMessage(const Ending &e)
{
    switch (e.result) {
    case Result::Success:
    case Result::Done:
        return UserMessage::info(QStringLiteral("The control word 01 34 3E F5 was acknowledged."));
    case Result::CameraError:
        return UserMessage::error(
            QStringLiteral("The camera refused the control word 01 34 3E F5 with error status %1.")
                .arg(cameraStatusText(e.cameraStatus)));
    case Result::NoAnswer:
        return UserMessage::error(
            QStringLiteral("The camera did not acknowledge the control word 01 34 3E F5 after %1 "
                           "attempts; it may not have been carried out. Check the connection and "
                           "try again.")
                .arg(flash::MaxAttempts));
    default:
        return UserMessage::error(QStringLiteral("The control word 01 34 3E F5 was not sent."));
    }
}

UserMessage ipMessage(const Ending &e)
{
    const bool forceIp = e.operation == Operation::ForceIp;
    if (e.result == Result::WouldChange)
        return UserMessage::info(
            forceIp ? QStringLiteral("Dry run: the camera would be given these addresses until its "
                                     "next power cycle; nothing was sent.")
                    : QStringLiteral("Dry run: the camera would store this IP configuration and "
                                     "restart it; nothing was written."));
    if (e.result == Result::Unchanged)
        return UserMessage::info(
            forceIp ? QStringLiteral("Unchanged: the camera already runs these addresses; nothing "
                                     "was sent.")
                    : QStringLiteral("Unchanged: the camera already stores this IP "
                                     "configuration; nothing was written."));
    if (e.operation == Operation::ForceIp)
        return e.result == Result::Success ? UserMessage::info(QStringLiteral("ForceIP done."))
                                           : ipFailure(ForceIpFailed);
    if (e.result == Result::Success)
        return UserMessage::info(
            QStringLiteral("IP configuration stored; the camera restarts it."));
    if (e.ipStep == IpStep::Restart)
        return ipFailure(ForceIpFailed);
    return ipFailure(e.restartFailed ? ConfigFailed + QLatin1Char(' ') + ForceIpFailed
                                     : ConfigFailed);
}

}  // namespace

Operation operationOf(flash::JobKind kind)
{
    switch (kind) {
    case flash::JobKind::Parameter: return Operation::WriteParam;
    case flash::JobKind::ControlWord: return Operation::ControlWord;
    case flash::JobKind::Bitstream: break;
    }
    return Operation::Program;
}

Ending fromOutcome(flash::JobKind kind, const flash::JobOutcome &o)
{
    Ending e;
    e.operation = operationOf(kind);
    e.phase = o.phase;
    e.sector = o.sector;
    e.changed = o.programmed > 0 ||
                (kind == flash::JobKind::ControlWord && o.result == flash::JobResult::Done);
    switch (o.result) {
    case flash::JobResult::Success: e.result = Result::Success; break;
    case flash::JobResult::Done: e.result = Result::Done; break;
    case flash::JobResult::VerifyError: e.result = Result::VerifyError; break;
    case flash::JobResult::NoAnswer: e.result = Result::NoAnswer; break;
    case flash::JobResult::CameraError:
        e.result = Result::CameraError;
        e.cameraStatus = o.cause.status;
        break;
    case flash::JobResult::Refused: e.result = Result::Refused; break;
    case flash::JobResult::Cancelled: e.result = Result::Cancelled; break;
    case flash::JobResult::WouldChange:
        e.result = Result::WouldChange;
        e.sectorsToProgram = o.toProgram;
        e.sectorsCompared = o.compared ? o.toProgram + o.unchanged : 0;
        break;
    case flash::JobResult::Unchanged: e.result = Result::Unchanged; break;
    }
    return e;
}

Ending fromForceIp(const ExchangeResult &exchange)
{
    Ending e = of(Operation::ForceIp, resultOf(exchange));
    e.cameraStatus = exchange.kind == ExchangeResult::Kind::CameraStatus ? exchange.status : 0;
    e.changed = exchange.ok();
    return e;
}

Ending fromIpConfig(const ExchangeResult &stored, const ExchangeResult &restarted)
{
    const bool storeFailed = !stored.ok();
    const ExchangeResult &deciding = storeFailed ? stored : restarted;
    Ending e = of(Operation::IpConfig, resultOf(deciding));
    e.ipStep = storeFailed ? IpStep::Store : IpStep::Restart;
    e.restartFailed = !restarted.ok();
    e.cameraStatus = deciding.kind == ExchangeResult::Kind::CameraStatus ? deciding.status : 0;
    e.changed = stored.ok() || restarted.ok();
    return e;
}

Ending ipWithoutWrite(Operation operation, bool wouldChange)
{
    return of(operation, wouldChange ? Result::WouldChange : Result::Unchanged);
}

Ending of(Operation operation, Result result)
{
    Ending e;
    e.operation = operation;
    e.result = result;
    return e;
}

Ending inUse(Operation operation, const control::Holder &holder)
{
    Ending e = of(operation, Result::InUse);
    e.holder = holder;
    return e;
}

Ending lostControl(flash::JobKind kind, const flash::JobOutcome &outcome,
                   const control::Holder &holder)
{
    Ending e = fromOutcome(kind, outcome);
    e.result = Result::LostControl;
    e.holder = holder;
    return e;
}

UserMessage message(const Ending &e)
{
    if (e.result == Result::NotPresent)
        return UserMessage::info(texts::deviceNotExists());
    if (e.result == Result::NotStarted)
        return UserMessage::error(
            QStringLiteral("Stopped before it started; nothing was sent to this camera."));
    if (e.result == Result::InUse)
        return UserMessage::error(QStringLiteral("The camera is controlled by another "
                                                 "application%1. Close it or release the camera, "
                                                 "then try again.")
                                      .arg(holderInBrackets(e)));
    const bool flashJob = e.operation == Operation::WriteParam || e.operation == Operation::Program;
    if (flashJob && e.phase == flash::Phase::Comparing &&
        (e.result == Result::NoAnswer || e.result == Result::CameraError ||
         e.result == Result::Cancelled || e.result == Result::LostControl))
        return comparingMessage(e);
    if (e.result == Result::LostControl)
        return lostControlMessage(e);
    switch (e.operation) {
    case Operation::WriteParam: return parameterMessage(e);
    case Operation::Program: return bitstreamMessage(e);
    case Operation::ControlWord: return controlWordMessage(e);
    case Operation::ForceIp:
    case Operation::IpConfig: break;
    }
    return ipMessage(e);
}

QString resultName(const Ending &e)
{
    switch (e.result) {
    case Result::Success: return QStringLiteral("success");
    case Result::Done: return QStringLiteral("done");
    case Result::VerifyError: return QStringLiteral("verify-error");
    case Result::NoAnswer:
    case Result::NotPresent: return QStringLiteral("no-answer");
    case Result::CameraError:
    case Result::Refused: return QStringLiteral("refused");
    case Result::WouldChange: return QStringLiteral("would-change");
    case Result::Unchanged: return QStringLiteral("unchanged");
    case Result::InUse: return QStringLiteral("in-use");
    case Result::LostControl: return QStringLiteral("lost-control");
    case Result::Cancelled:
    case Result::NotStarted: break;
    }
    return QStringLiteral("cancelled");
}

bool succeeded(const Ending &e)
{
    switch (e.result) {
    case Result::Success:
    case Result::Done:
    case Result::WouldChange:
    case Result::Unchanged: return true;
    default: return false;
    }
}

}  // namespace endings
