// Pure helpers of the IP configuration panel.
#pragma once

#include "ipassignment.h"

#include <QString>

struct AddressProposal {
    QString ip;
    QString mask;
    QString gateway;
};

// The random ip proposal in the subnet of the host interface `hostIP`, for a
// draw r from 0 to 32767: host number 1 + r/32767*252 (1..253, 253 only for
// 32767), gateway .254, mask 255.255.255.0 (255.255.0.0 for 169.x).
// False, and `out` untouched, unless hostIP has exactly four dot-separated parts.
bool randomHostAddress(const QString &hostIP, int r, AddressProposal &out);

// The configuration mode IP Config sends for the checked radio button.
ipassign::Mode ipConfigMode(bool dhcpChecked, bool staticChecked);
