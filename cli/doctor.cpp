// orvanta-cli doctor: the diagnosis of the cameras and cards in the
// command's scope. It only reads: nothing is written to a camera or the PC.
#include "doctor.h"
#include "commands.h"
#include "devicelink.h"
#include "output.h"

int runDoctor(const CommonOptions &options)
{
    DeviceLink scope;
    scope.setSettingsPath(options.settingsPath);
    scope.setOnlyInterface(options.onlyInterface);
    doctor::Observation observation;
    if (!doctor::observe(scope, observation)) {
        printProblem(scope.error());
        return ExitRefused;
    }
    const QList<doctor::Finding> found = doctor::findings(observation);
    printFindings(found, doctor::reportText(found, observation), options.json);
    return found.isEmpty() ? ExitSucceeded : ExitFailed;
}
