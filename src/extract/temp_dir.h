// Where extracted songs go: the folder named by the environment.
#pragma once

#include "text/text_string.h"

namespace voskel {

// Reads "TEMP", then "TMP" into the same string: both must be set, and the
// folder is the value of "TMP", used as it stands. Returns false, with
// folder's text unspecified, when either is unset.
bool find_temp_dir(TextString& folder);

// The folder an extractor writes into: the temporary folder, or own_folder
// when it is not empty (a folder the caller made for this one extraction).
// False, as find_temp_dir, when there is none.
bool find_destination(const TextString& own_folder, TextString& folder);

}  // namespace voskel
