#include "ui_logging.h"

Q_LOGGING_CATEGORY(lcUi, "orvotove.ui", QtWarningMsg)
