// Dotted-decimal IPv4 text <-> the four bytes in dotted order.
#pragma once

#include <QString>

// Strict: exactly four decimal groups 0..255, no empty group. Leading zeros
// are read as decimal (a technician's 010 means ten). Returns false otherwise
// and leaves `out` untouched.
bool parseIPv4(const QString &text, quint8 out[4]);
QString ipv4Text(const quint8 address[4]);
