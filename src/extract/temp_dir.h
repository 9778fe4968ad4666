// Where extracted songs go: the folder named by the environment.
#pragma once

#include "text/text_string.h"

namespace voskel {

// Reads "TEMP", then "TMP" into the same string: both must be set, and the
// folder is the value of "TMP", used as it stands. Returns false, with
// folder's text unspecified, when either is unset.
bool find_temp_dir(TextString& folder);

}  // namespace voskel
