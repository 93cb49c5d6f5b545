// Linux has no alert of the system's own: a failure is the line on standard
// error alone.
#include "ErrorAlert.h"

void showErrorAlert(const std::string&, const std::string&) {}
