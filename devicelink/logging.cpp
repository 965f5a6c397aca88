#include "logging.h"

Q_LOGGING_CATEGORY(lcOrvanta, "orvanta")
