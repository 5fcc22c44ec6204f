// The service's loop, run by the service's main function and by the "debug" verb.
#pragma once

#include <string>
#include <vector>

namespace ferry {

// Binds the dial-up lines, performs the start parameter "create", reports the
// service running once the events and the trigger listener exist (event 1),
// clears every "In Use" flag, runs passes until StopEvent, then reports the end
// (event 2) and unbinds. Returns 0; 1 at once, with an error event, when
// MAILFERRY_TRIGGER_ADDRESS is set but not a dotted IPv4 address.
int ServiceLoop(const std::vector<std::string>& args);

}  // namespace ferry
