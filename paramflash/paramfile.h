// The parameter file and the flash image built from it.
//
// A parameter file is a small text file of hexadecimal word records,
// "address: value value ...", with "//" comments. It is read in two steps
// that callers use separately: cleaning (comments, blank lines and outer
// white space removed, syntax not yet judged) and building the 37-sector
// image together with the set of 512-byte blocks the file addressed.
// Everything here is a pure function of its input: no window, no network.
#pragma once

#include "flashmap.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

namespace param {

constexpr int SectorCount = 37;
constexpr int ImageSize = SectorCount * flash::SectorSize;  // 151,552 bytes
constexpr quint32 WordCount = ImageSize / 4;                // 37,888 = 0x9400 words
constexpr quint32 WordsPerBlock = 128;                      // one 512-byte block
constexpr int VersionOffset = 296;                          // the file's version text

// The largest file accepted as a parameter file. A complete 37-sector image
// written out as text records stays well under 1 MiB; anything past this is
// some other file chosen by mistake, and reading it must not freeze the tool.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

enum class ReadStatus { Ok, OpenFailed, TooLarge };

struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    QStringList lines;  // the cleaned lines when status is Ok
    qint64 size = -1;   // the file's size when known (for the too-large message)
    QByteArray sha256;  // of the bytes read, when status is Ok (the history's)
};

// Cleans the text of a parameter file. Lines end at LF or CR LF (text mode),
// each line is decoded as UTF-8 (invalid bytes become replacement
// characters), trimmed, cut at its first "//" and trimmed again; empty
// results are dropped. Linear in the size of `content`.
QStringList cleanParamLines(const QByteArray &content);

// Reads at most `limit` bytes from an open device and cleans them. A device
// holding more than `limit` bytes gives TooLarge and no lines; only limit + 1
// bytes are ever read, so a device without an end (a pipe, a character
// device) cannot hold the caller.
ReadResult readParamDevice(QIODevice &device, qint64 limit = MaxFileSize);

// Opens `path` (relative paths against the working directory) and reads it
// as above. OpenFailed when it cannot be opened.
ReadResult readParamFile(const QString &path, qint64 limit = MaxFileSize);

// Fills `image` (ImageSize bytes) from the cleaned lines and rebuilds
// `blocks`, the distinct block numbers in the order first met. Lines that do
// not split into exactly two fields at ":" are skipped; numbers that do not
// convert count as 0; words past the image are dropped but their blocks are
// still recorded. Words are stored most significant byte first.
void buildParamImage(const QStringList &lines, quint8 *image, QList<int> &blocks);

// True unless the four image bytes at VersionOffset are all 0xFF.
bool hasFileVersion(const quint8 *image);
// The image bytes from VersionOffset up to the first zero byte (or the end of
// the image), decoded as UTF-8. May be empty.
QString fileVersionText(const quint8 *image);

// The name of the cleaned copy: the path without its last four characters
// (normally ".hex"; a shorter text is kept whole) followed by "_clean.hex".
QString cleanFileName(const QString &paramPath);

// The cleaned lines as the cleaned copy holds them: UTF-8, each followed by
// a line end ("\n"; a text-mode file turns it into the platform's own).
QByteArray cleanFileContent(const QStringList &lines);

}  // namespace param
