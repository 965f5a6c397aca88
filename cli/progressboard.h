// Progress of many cameras' flash jobs at once. On a terminal: one line per
// camera, redrawn in place (phase, sector n/N, percent). Elsewhere (a log, a
// pipe): a line per camera at each tenth of its job. Either way, once every
// job has ended: one closing line per camera, in the order they were added.
#pragma once

#include "flashjob.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

class ProgressBoard {
public:
    // `out`: where everything goes; `live`: redraw lines in place.
    ProgressBoard(std::FILE *out, bool live) : out_(out), live_(live) {}

    // Returns the camera's index on the board.
    int add(const QString &identity, const flash::JobPlan &plan);

    // Any thread.
    void update(int camera, const flash::JobProgress &progress);
    // `result`: a word for the live board; `closingLine`: the line for the end.
    void finish(int camera, const QString &result, const QString &closingLine);

    // The thread that made the board: redraw() draws at most every 200 ms;
    // close() replaces the board with the closing lines.
    void redraw();
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
    QMutex lock_;
    QVector<Row> rows_;
    int drawnLines_ = 0;
    qint64 lastDraw_ = 0;
};
