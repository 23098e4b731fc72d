#pragma once

#include <QLoggingCategory>

// The windows' own steps: what each status field shows (info level), so that a run without a
// screen (the demo's timed check, a user's report) can tell what the window said.
Q_DECLARE_LOGGING_CATEGORY(lcUi)
