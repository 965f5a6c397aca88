// The parameter write, as a sequence of functions of its inputs that a front
// end calls in order: load the file, refuse what must not be written, probe
// the camera (cameraAnswers), plan the job from the camera's version, and
// hand the plan to the job runner; its ending is told in endings.h's words.
#pragma once

#include "flashjob.h"
#include "paramfile.h"
#include "paramlayout.h"
#include "usermessage.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace param {

// A parameter file read and turned into its image.
struct ParamFileLoad {
    ReadResult read;
    QByteArray image;   // ImageSize bytes
    QList<int> blocks;  // the 512-byte blocks the file addressed
    bool hasFileVersion = false;
    QString fileVersion;
};

ParamFileLoad loadParamFile(const QString &path);

// What stops the write before the camera is asked anything: a file too large
// to be a parameter file, or one without a single record. Empty otherwise.
// An unreadable file is reported first (openFailedMessage) and then refused
// as one without records.
UserMessage refusalBeforeCamera(const ParamFileLoad &load);
UserMessage openFailedMessage();

struct WritePlan {
    UserMessage refusal;  // not empty: nothing may be written
    ParamLayout layout;
    flash::JobPlan job;
};

// The layout comes from the camera's version and the file's version text;
// when the file names its layout, a camera must be chosen to decide it.
// `dumpDirectory` empty: "hexdata.dat" and "data.dat" go to the working
// directory. A dump file that cannot be written is logged only.
WritePlan planWrite(const ParamFileLoad &load, bool cameraChosen, const QString &cameraVersion,
                    const QString &dumpDirectory = QString());

// The fixed control word that the auxiliary slot sends to address 0x27.
constexpr quint8 FixedControlWord[4] = {0x01, 0x34, 0x3E, 0xF5};
// The job that sends it, through the job runner like every write.
flash::JobPlan controlWordPlan();

}  // namespace param
