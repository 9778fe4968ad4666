// Where extracted songs go: the folder named by the environment, and the
// folders an extraction makes below it for a member's folder part.
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

// The outermost folder between folder and target (folder joined with a
// stored name) that does not exist yet: the first one an extraction of
// target makes. Empty when there is none to make.
TextString first_missing_folder(const TextString& folder, const TextString& target);

// What an extraction of target left of the folder first_missing_folder
// named before it: that folder when it is there now, else empty.
TextString made_folder_after(const TextString& missing_before);

// Removes the folders from target's own up to made_folder, innermost first,
// each only if it is empty; nothing when made_folder is empty or target
// does not lie below it. A folder that held something before the
// extraction lies outside made_folder and stays.
void remove_made_folders(const TextString& target, const TextString& made_folder);

// Deletes an extracted file, then the folders its extraction made. False
// when the file stays.
bool remove_extracted(const TextString& file, const TextString& made_folder);

}  // namespace voskel
