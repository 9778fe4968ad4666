// Title, length and the information dialog for archived songs, answered by
// the inner module that plays the archived file.
#pragma once

#include "winamp/input_plugin.h"

namespace voskel {

void GetFileInfo(char* file, char* title, int* length_ms);
int InfoBox(char* file, HostWindow parent);

}  // namespace voskel
