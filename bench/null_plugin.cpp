// An inner plugin that costs next to nothing: it claims MOD files, answers
// every query at once and plays nothing, so that the benchmarks measure
// in_voskel and the archive library alone. The scan benchmark loads it
// under a hundred names.
#include <cstring>

#include "winamp/input_plugin.h"

#if defined(_WIN32)
#define NULL_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define NULL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using voskel::HostWindow;
using voskel::In_Module;

char description[] = "Benchmark Null Decoder";
char extensions[] = "MOD\0Benchmark modules\0";

void Config(HostWindow) {}
void About(HostWindow) {}
void Init() {}
void Quit() {}
void GetFileInfo(char*, char* title, int* length_ms) {
    if (title != nullptr) std::strcpy(title, "bench");
    if (length_ms != nullptr) *length_ms = 1000;
}
int InfoBox(char*, HostWindow) { return 0; }
int IsOurFile(char*) { return 0; }
int Play(char*) { return 0; }
void Pause() {}
void UnPause() {}
int IsPaused() { return 0; }
void Stop() {}
int GetLength() { return 1000; }
int GetOutputTime() { return 0; }
void SetOutputTime(int) {}
void SetVolume(int) {}
void SetPan(int) {}
void EQSet(int, char*, int) {}

In_Module record = {
    .version = 0x100,
    .description = description,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .FileExtensions = extensions,
    .is_seekable = 1,
    .UsesOutputPlug = 1,
    .Config = Config,
    .About = About,
    .Init = Init,
    .Quit = Quit,
    .GetFileInfo = GetFileInfo,
    .InfoBox = InfoBox,
    .IsOurFile = IsOurFile,
    .Play = Play,
    .Pause = Pause,
    .UnPause = UnPause,
    .IsPaused = IsPaused,
    .Stop = Stop,
    .GetLength = GetLength,
    .GetOutputTime = GetOutputTime,
    .SetOutputTime = SetOutputTime,
    .SetVolume = SetVolume,
    .SetPan = SetPan,
    .SAVSAInit = nullptr,
    .SAVSADeInit = nullptr,
    .SAAddPCMData = nullptr,
    .SAGetMode = nullptr,
    .SAAdd = nullptr,
    .VSAAddPCMData = nullptr,
    .VSAGetMode = nullptr,
    .VSAAdd = nullptr,
    .VSASetInfo = nullptr,
    .dsp_isactive = nullptr,
    .dsp_dosamples = nullptr,
    .EQSet = EQSet,
    .SetInfo = nullptr,
    .outMod = nullptr,
};

}  // namespace

NULL_PLUGIN_EXPORT In_Module* winampGetInModule2() { return &record; }
