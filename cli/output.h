// Everything orvanta-cli prints: the camera list (lines or JSON), the live
// progress board of the flash jobs, the closing line of each camera, the
// results as JSON, and refusals. Nothing else in cli/ writes to a stream.
#pragma once

#include "control.h"
#include "devicerecord.h"
#include "doctor.h"
#include "endings.h"
#include "flashjob.h"
#include "history.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

// What a command came to on one camera.
struct CameraResult {
    DeviceRecord record;
    endings::Ending ending;
    double seconds = 0;
};

// "192.0.2.10 02:00:00:00:00:01 SERIAL": how a camera is named in every line.
QString identity(const DeviceRecord &record);
// identity ": " and the catalogue's text for its ending.
QString closingLine(const CameraResult &result);

// `list`: one line a camera, or a JSON array; with JSON, `holders` (one per
// record) say who controls each camera; with `details` (one reading per
// record, list --details) what each camera's registers say as well.
void printCameraList(const QList<DeviceRecord> &records, const QVector<control::Holder> &holders,
                     bool json, const QVector<doctor::CameraReading> *details = nullptr);

// `doctor`: the report, one finding a line, or only a JSON array of them.
void printFindings(const QList<doctor::Finding> &found, const QString &report, bool json);

// The closing lines (unless the board printed them), or only the JSON array
// of the results on stdout. Returns the exit status: 0 when every camera
// succeeded, 1 otherwise.
int printResults(const QList<CameraResult> &results, bool json, bool linesPrinted = false);

// A refusal or usage problem, on stderr.
void printProblem(const QString &text);

// `history`: one tab-separated line an entry (time, PC, user, front end,
// operation, camera address, MAC and serial, file or IP settings, result,
// sectors written, seconds), or a JSON array of the entries as stored.
void printHistory(const QList<history::Entry> &entries, bool json);

// Progress of many cameras' flash jobs at once. On a terminal: one line per
// camera, redrawn in place (phase, sector n/N, percent). Elsewhere (a log, a
// pipe): a line per camera at each tenth of its job. Either way, once every
// job has ended: one closing line per camera, in the order they were added.
class ProgressBoard {
public:
    // `out`: where everything goes; `live`: redraw lines in place.
    ProgressBoard(std::FILE *out, bool live) : out_(out), live_(live) {}

    // Returns the camera's row on the board.
    int add(const QString &identity, const flash::JobPlan &plan);
    void update(int row, const flash::JobProgress &progress);
    // `result`: a word for the live board; `closingLine`: the line for the end.
    void finish(int row, const QString &result, const QString &closingLine);
    // Draws the live board, at most every 200 ms.
    void redraw();
    // Replaces the board with the closing lines.
    void close();

private:
    struct Row {
        QString identity;
        QString writeWord;  // "Write" for parameters, "Program" for bitstreams
        // Sectors each phase does; the writes are known once comparing ends.
        int compareTotal = 0, writeTotal = 0, readTotal = 0;
        int compared = 0, written = 0, read = 0;
        bool writingSeen = false;
        QString phaseText = QStringLiteral("Waiting");
        int tenth = 0;
        QString result;
        QString closingLine;
    };
    static int percent(const Row &row);
    QString lineOf(const Row &row) const;

    std::FILE *out_;
    bool live_;
    QVector<Row> rows_;
    int drawnLines_ = 0;
    qint64 lastDraw_ = 0;
};
