#include "server_logging.h"

// Debug and info messages are off by default: only warnings pass unless a rule turns them on.
Q_LOGGING_CATEGORY(lcServer, "orvotove.server", QtWarningMsg)
