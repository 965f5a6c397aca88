// A message for the technician, as both front ends show it: the window as a
// modal box with this title, the command line as a line of text.
#pragma once

#include <QString>

struct UserMessage {
    enum class Kind { Information, Critical, Question };
    Kind kind = Kind::Information;
    QString title;
    QString text;

    static UserMessage info(const QString &text)
    {
        return {Kind::Information, QStringLiteral("Info"), text};
    }
    static UserMessage error(const QString &text)
    {
        return {Kind::Critical, QStringLiteral("Error"), text};
    }
    bool isEmpty() const { return text.isEmpty(); }
};

namespace texts {
inline QString deviceNotExists() { return QStringLiteral("Device not exists, please fresh."); }
inline QString selectCameraFirst() { return QStringLiteral("Please select a camera first."); }
inline QString openFileFailed() { return QStringLiteral("Open file failed!"); }
}  // namespace texts
