#include "web_logging.h"

Q_LOGGING_CATEGORY(lcWeb, "orvotove.web", QtWarningMsg)
