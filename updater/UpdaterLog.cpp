#include "UpdaterLog.h"

Q_LOGGING_CATEGORY(lcUpdater, "ostry.updater", QtInfoMsg)
