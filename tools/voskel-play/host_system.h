// The few things voskel-play needs from the system beyond platform.h.
#pragma once

#include <string>

namespace voskel::play {

// The folder this program was started from.
std::string program_folder();
std::string join_path(const std::string& folder, const std::string& name);
// A full path, as the player keeps file names in its playlist.
std::string full_path(const std::string& path);
// Whether two full paths name the same file by their text (letter case
// aside where the file system ignores it).
bool same_file_name(const std::string& a, const std::string& b);
// What follows the last '.' of the path's last component; empty if none.
std::string extension_of(const std::string& path);

// Empty when the folder can be listed; otherwise why not.
std::string folder_problem(const std::string& folder);
// Empty when the file can be read; otherwise why not.
std::string file_problem(const std::string& path);
// Why the last library load failed, as the system puts it.
std::string last_load_error();

bool stderr_is_terminal();
// Windows always has TEMP and TMP, and plugins rely on them; elsewhere
// they are set, when missing, to the system's temporary folder.
void provide_temp_variables();

}  // namespace voskel::play
