#include "link_logging.h"

// Debug and info messages are off by default: only warnings pass unless a rule turns them on.
Q_LOGGING_CATEGORY(lcLink, "orvotove.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLinkBytes, "orvotove.link.bytes", QtWarningMsg)
