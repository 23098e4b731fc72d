#pragma once

#include <QLoggingCategory>

// orvotove.mqtt: the broker connection and what is published.
Q_DECLARE_LOGGING_CATEGORY(lcMqtt)
