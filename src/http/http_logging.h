#pragma once

#include <QLoggingCategory>

// orvotove.http: connections taken, refused and closed; requests and their answers.
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
