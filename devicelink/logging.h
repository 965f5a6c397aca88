// The one logging category of the core and both front ends. Its debug lines
// are on by default; QT_LOGGING_RULES="orvanta.debug=false" switches them off.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcOrvanta)
