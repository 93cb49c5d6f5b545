// The logging hooks of this platform: records carry no platform part and
// logging needs no initialisation.
#include "Log.h"

void Logger::initializeLogging() {}

void Logger::initializingLogging() {}

void LogEvent::init(PlatformLogEvent&) {}

void LogEvent::appendFormatted(const PlatformLogEvent&, std::string&) {}
