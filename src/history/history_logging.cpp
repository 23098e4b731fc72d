#include "history_logging.h"

Q_LOGGING_CATEGORY(lcHistory, "orvotove.history", QtWarningMsg)
