#pragma once

#include <QLoggingCategory>

// Web posting: runs that post, connections and their ends ("orvotove.web").
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
