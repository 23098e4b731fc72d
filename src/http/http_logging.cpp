#include "http_logging.h"

Q_LOGGING_CATEGORY(lcHttp, "orvotove.http", QtWarningMsg)
