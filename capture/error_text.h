#pragma once
// A message for every error code of netgrab.h (enum NetgrabError).

namespace netgrab {

// The message of code; "unknown error" for a value the enum does not name.
const char *errorText(int code);

}  // namespace netgrab
