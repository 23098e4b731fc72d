#include "mqtt_logging.h"

Q_LOGGING_CATEGORY(lcMqtt, "orvotove.mqtt", QtWarningMsg)
