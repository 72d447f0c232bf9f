#include "text/logging.h"

Q_LOGGING_CATEGORY(lcLog, "ekranik.log", QtWarningMsg)
