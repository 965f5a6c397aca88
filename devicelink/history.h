// The history of every write to a camera, from both front ends: one JSON line
// per job or IP command in a file of the user's (history.jsonl in the state
// folder), appended whole and flushed before the front end shows the result,
// so that a plant can trace what was written to which camera, when, from
// which PC and by whom. Dry runs write none.
#pragma once

#include "devicerecord.h"
#include "endings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace history {

// Where a write came from, as the front end knows it.
struct Source {
    QString frontEnd = QStringLiteral("window");  // "window" or "cli"
    QString file;                                 // flash jobs: the file's path
    QByteArray sha256;                            // ... and the SHA-256 of its bytes as read
    QString ipSettings;                           // IP commands: what was asked
};

struct Entry {
    QDateTime time;  // UTC
    QString host, user, frontEnd;
    QString mac, serial, model, firmware, ip;  // the camera, as discovery saw it
    QString operation;                         // program, write-param, force-ip, ip-config
    QString file, sha256, ipSettings;          // sha256: 64 lower-case hex digits
    int sectorsWritten = 0;
    QString result, message;  // the catalogue's result name and text
    double seconds = 0;
};

// program, write-param, force-ip or ip-config: the command line's words.
QString operationName(endings::Operation operation);

// An entry for this camera's ending, stamped now with this PC and user.
Entry entryOf(const DeviceRecord &camera, const endings::Ending &ending, const Source &source,
              int sectorsWritten, double seconds);

// ORVANTA_HISTORY when set; else history.jsonl in the state folder
// ($XDG_STATE_HOME/orvanta or ~/.local/state/orvanta; %LOCALAPPDATA%\Orvanta
// on Windows).
QString defaultPath();

// One line of compact JSON, ending in a newline; and back (false for a line
// that is not a whole entry).
QByteArray lineOf(const Entry &entry);
bool parseLine(const QByteArray &line, Entry &entry);

// Appends the entry as one write of a whole line, under an exclusive lock
// where the platform needs one, and flushes it to the disk; makes the folder
// when missing. False with `error` saying why.
bool append(const QString &path, const Entry &entry, QString &error);

struct Reading {
    bool found = false;    // the file exists and was read
    QList<Entry> entries;  // in file order
    QStringList problems;  // a line each for the lines that are not entries
};
Reading read(const QString &path);

}  // namespace history
