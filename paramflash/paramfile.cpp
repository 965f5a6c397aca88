#include "paramfile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QSet>
#include <QtEndian>

#include <cstring>

namespace param {

QStringList cleanParamLines(const QByteArray &content)
{
    QStringList result;
    // A QBuffer in text mode gives the same line ends as a file read in text
    // mode: CR LF counts as one line end.
    QByteArray copy = content;  // QBuffer wants a non-const array; implicitly shared
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly | QIODevice::Text))
        return result;
    const QString comment = QStringLiteral("//");
    while (!buffer.atEnd()) {
        // Invalid bytes become replacement characters; a leading byte order
        // mark is dropped.
        QString line = QString::fromUtf8(buffer.readLine()).trimmed();
        const int p = line.indexOf(comment);
        if (p == 0)
            continue;
        if (p > 0)
            line = line.left(p).trimmed();
        if (!line.isEmpty())
            result.append(line);
    }
    return result;
}

ReadResult readParamDevice(QIODevice &device, qint64 limit)
{
    ReadResult result;
    if (!device.isSequential())
        result.size = device.size();
    // One byte more than the limit tells "exactly at the limit" from "over it".
    const QByteArray content = device.read(limit + 1);
    if (content.size() > limit) {
        result.status = ReadStatus::TooLarge;
        return result;
    }
    result.lines = cleanParamLines(content);
    result.sha256 = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    return result;
}

ReadResult readParamFile(const QString &path, qint64 limit)
{
    QFile file(path);
    // Raw bytes here; the text-mode line handling happens while cleaning.
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        ReadResult result;
        result.status = ReadStatus::OpenFailed;
        return result;
    }
    return readParamDevice(file, limit);
}

void buildParamImage(const QStringList &lines, quint8 *image, QList<int> &blocks)
{
    std::memset(image, 0, ImageSize);
    blocks.clear();
    // The list keeps the order first met; the set keeps the membership test
    // constant-time, so a line with millions of values stays linear.
    QSet<int> seen;
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char(':'));
        if (fields.size() != 2)
            continue;
        const quint32 address = fields.at(0).trimmed().toUInt(nullptr, 16);
        const QStringList values = fields.at(1).trimmed().split(QLatin1Char(' '));
        quint32 k = 0;
        for (const QString &text : values) {
            const quint32 word = address + k++;  // 32-bit unsigned, as the address field
            const int block = int(word / WordsPerBlock);
            if (!seen.contains(block)) {
                seen.insert(block);
                blocks.append(block);
            }
            const quint32 value = text.toUInt(nullptr, 16);
            if (word < WordCount)
                qToBigEndian(value, image + 4 * word);
        }
    }
}

bool hasFileVersion(const quint8 *image)
{
    const quint8 *p = image + VersionOffset;
    return !(p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF);
}

QString fileVersionText(const quint8 *image)
{
    const char *start = reinterpret_cast<const char *>(image) + VersionOffset;
    const void *zero = std::memchr(start, 0, ImageSize - VersionOffset);
    const int length =
        zero ? int(static_cast<const char *>(zero) - start) : ImageSize - VersionOffset;
    return QString::fromUtf8(start, length);
}

QString cleanFileName(const QString &paramPath)
{
    const QString stem = paramPath.size() >= 4 ? paramPath.left(paramPath.size() - 4) : paramPath;
    return stem + QStringLiteral("_clean.hex");
}

QByteArray cleanFileContent(const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines) {
        out += line.toUtf8();
        out += '\n';
    }
    return out;
}

}  // namespace param
