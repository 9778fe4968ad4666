// voskel-play: a command-line host for input plugins. It loads them as the
// player does and plays songs through them into WAV files.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "event_window.h"
#include "host_system.h"
#include "platform/platform.h"
#include "plugin_host.h"
#include "registry/inner_module.h"
#include "registry/module_exports.h"
#include "wav_output.h"

namespace voskel::play {

namespace {

enum ExitCode {
    exit_ok = 0,
    exit_song_failed = 1,
    exit_usage = 2,
    exit_host_failed = 3,
};

constexpr int poll_ms = 100;
constexpr auto stall_limit = std::chrono::seconds(60);
constexpr int64_t limit_without_length_ms = 3600 * 1000;
constexpr int64_t limit_margin_ms = 60 * 1000;
// The player's volume and pan controls, at full volume and centred: the
// output writes the samples as the plugin decodes them.
constexpr int player_volume = 255;
constexpr int player_pan = 0;
// What the format converter asks of an extended read at a time.
constexpr int extended_read_bytes = 8192;
// The metadata info shows when a plugin answers it, as the Media Library asks.
constexpr const char* metadata_keys[] = {"title", "artist", "length", "family"};
constexpr int metadata_size = 1024;

constexpr const char* help_text =
    "Usage: voskel-play [--plugins DIR] COMMAND [ARGUMENTS]\n"
    "\n"
    "Loads the input plugins of a folder as the player does and plays songs\n"
    "through them, without a player.\n"
    "\n"
    "Commands:\n"
    "  plugins                 list the plugins: file, description, extension groups\n"
    "  info FILE...            for each file, the plugin that claims it, the title\n"
    "                          and length that plugin reports, and the metadata\n"
    "                          (title, artist, length, family) it answers through\n"
    "                          winampGetExtendedFileInfo when it exports that\n"
    "  render FILE -o OUT.wav  play FILE to its end through the plugin that claims it,\n"
    "                          as fast as the plugin decodes, and write the audio to\n"
    "                          OUT.wav; a progress bar shows on a terminal\n"
    "\n"
    "Options:\n"
    "  --plugins DIR       load the plugins (%s) from DIR instead of the\n"
    "                      plugins folder beside this program\n"
    "  -o, --output FILE   where render writes the WAV file\n"
    "  --limit SECONDS     render fails when the song has not ended after this\n"
    "                      much audio (default: twice the length the plugin\n"
    "                      reports plus 60 s, or 3600 s when it reports none)\n"
    "  --extended-read     render decodes through the plugin's\n"
    "                      winampGetExtendedRead_* exports, as the format\n"
    "                      converter does, instead of playing the song\n"
    "  -h, --help          show this text\n"
    "\n"
    "A plugin claims a file when its IsOurFile says so or, failing every\n"
    "IsOurFile, when its extension list names the file's extension; plugins are\n"
    "asked in the order they were loaded.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a song failed: the file is missing or unreadable, no plugin claims it,\n"
    "     its plugin's Play failed (or it has no extended read), it did not end\n"
    "     within the limit, the plugin sent no audio for 60 s, or OUT.wav could\n"
    "     not be written\n"
    "  2  the command line is wrong\n"
    "  3  the host could not be set up: the plugin folder cannot be read or no\n"
    "     plugin in it loads (for \"plugins\": any plugin fails to load)\n";

struct Options {
    std::string command;
    std::vector<std::string> files;
    std::string output;
    std::string plugin_folder;
    int64_t limit_ms = 0;  // 0: from the song's length
    bool extended_read = false;
    bool help = false;
};

void report(const std::string& subject, const std::string& reason) {
    std::fprintf(stderr, "voskel-play: %s: %s\n", subject.c_str(), reason.c_str());
}

int usage_error(const std::string& reason) {
    std::fprintf(stderr, "voskel-play: %s\nTry 'voskel-play --help'.\n", reason.c_str());
    return exit_usage;
}

// Empty when the arguments make sense; otherwise why not.
std::string parse_arguments(int argc, char** argv, Options& options) {
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (options_ended || argument.size() < 2 || argument[0] != '-') {
            if (options.command.empty()) {
                options.command = argument;
            } else {
                options.files.push_back(argument);
            }
            continue;
        }
        if (argument == "--") {
            options_ended = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        if (argument == "--extended-read") {
            options.extended_read = true;
            continue;
        }
        std::string value;
        bool has_value = false;
        if (const std::size_t equals = argument.find('='); argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.erase(equals);
            has_value = true;
        }
        if (argument != "--plugins" && argument != "-o" && argument != "--output" && argument != "--limit") {
            return "unknown option " + argument;
        }
        if (!has_value) {
            if (i + 1 >= argc) return argument + " needs a value";
            value = argv[++i];
        }
        if (argument == "--plugins") {
            options.plugin_folder = value;
        } else if (argument == "--limit") {
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 1e7) {
                return "--limit needs a number of seconds above 0, not '" + value + "'";
            }
            options.limit_ms = static_cast<int64_t>(seconds * 1000);
        } else {
            options.output = value;
        }
    }
    if (options.help) return "";
    if (options.command.empty()) return "no command given";
    if (options.command == "plugins") {
        if (!options.files.empty()) return "plugins takes no files";
    } else if (options.command == "info") {
        if (options.files.empty()) return "info needs at least one file";
    } else if (options.command == "render") {
        if (options.files.size() != 1) return "render needs exactly one file";
        if (options.output.empty()) return "render needs -o OUT.wav";
    } else {
        return "unknown command " + options.command;
    }
    if (options.command != "render" && !options.output.empty()) return "-o belongs to render";
    if (options.command != "render" && options.limit_ms != 0) return "--limit belongs to render";
    if (options.command != "render" && options.extended_read) return "--extended-read belongs to render";
    return "";
}

std::string format_time(int64_t ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string format_length(int ms) {
    if (ms < 0) return "unknown";
    return format_time(ms) + " (" + std::to_string(ms) + " ms)";
}

// The extension list as lines of group and description.
void print_extension_groups(const char* list) {
    if (list == nullptr) return;
    for (const char* group = list; *group != '\0';) {
        const char* description = group + std::string(group).size() + 1;
        std::printf("    %-24s %s\n", group, description);
        if (*description == '\0') break;
        group = description + std::string(description).size() + 1;
    }
}

int list_plugins(const PluginHost& host) {
    for (const LoadedPlugin& plugin : host.plugins()) {
        std::printf("%s: %s\n", plugin.file_name.c_str(), description_text(*plugin.module).chars());
        print_extension_groups(plugin.module->FileExtensions);
    }
    return host.failures().empty() ? exit_ok : exit_host_failed;
}

// The file's full path, or empty after reporting why it cannot be played.
std::string checked_song(const std::string& file) {
    const std::string problem = file_problem(file);
    if (!problem.empty()) {
        report(file, problem);
        return "";
    }
    return full_path(file);
}

int show_info(const PluginHost& host, const std::vector<std::string>& files) {
    int status = exit_ok;
    for (const std::string& file : files) {
        std::string path = checked_song(file);
        const LoadedPlugin* plugin = path.empty() ? nullptr : host.claim(path);
        if (plugin == nullptr) {
            if (!path.empty()) report(file, "no plugin claims this file");
            status = exit_song_failed;
            continue;
        }
        std::vector<char> title(GETFILEINFO_TITLE_LENGTH, '\0');
        int length_ms = -1;
        get_module_file_info(*plugin->module, path.c_str(), title.data(), &length_ms);
        title.back() = '\0';
        std::printf("%s\n  plugin: %s\n  title:  %s\n  length: %s\n", file.c_str(), plugin->file_name.c_str(),
                    title.data(), format_length(length_ms).c_str());
        std::string metadata;
        for (const char* key : metadata_keys) {
            char value[metadata_size] = "";
            if (module_extended_info(*plugin->module, path.c_str(), key, value, metadata_size) == 0) continue;
            metadata += std::string(metadata.empty() ? "" : ", ") + key + " \"" + value + "\"";
        }
        if (!metadata.empty()) std::printf("  metadata: %s\n", metadata.c_str());
    }
    return status;
}

class ProgressBar {
public:
    explicit ProgressBar(bool shown) : shown_(shown) {}
    ~ProgressBar() { clear(); }

    void update(int64_t done_ms, int length_ms) {
        if (!shown_) return;
        constexpr int width = 30;
        std::string bar;
        if (length_ms > 0) {
            const int64_t filled = done_ms >= length_ms ? width : done_ms * width / length_ms;
            bar.append(1, '[').append(static_cast<std::size_t>(filled), '#');
            bar.append(static_cast<std::size_t>(width - filled), '-').append("] ");
            bar.append(format_time(done_ms)).append(" / ").append(format_time(length_ms));
        } else {
            bar = format_time(done_ms);
        }
        std::fprintf(stderr, "\r%s", bar.c_str());
        std::fflush(stderr);
        drawn_ = bar.size();
    }

    void clear() {
        if (!shown_ || drawn_ == 0) return;
        std::fprintf(stderr, "\r%s\r", std::string(drawn_, ' ').c_str());
        std::fflush(stderr);
        drawn_ = 0;
    }

private:
    bool shown_;
    std::size_t drawn_ = 0;
};

std::string beyond_limit(int64_t limit_ms) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", static_cast<double>(limit_ms) / 1000.0);
    return std::string("the song did not end within ") + limit + " s of audio";
}

// Waits for the plugin's end-of-song message; empty on success, else why the song failed.
std::string play_to_end(EventWindow& window, int length_ms, int64_t limit_ms) {
    ProgressBar progress(stderr_is_terminal());
    int64_t last_bytes = -1;
    auto last_change = std::chrono::steady_clock::now();
    while (!window.wait_for_end(poll_ms)) {
        const int64_t written_ms = wav_output_ms();
        progress.update(written_ms, length_ms);
        if (std::string problem = wav_output_problem(); !problem.empty()) return problem;
        if (written_ms > limit_ms) return beyond_limit(limit_ms);
        const auto now = std::chrono::steady_clock::now();
        if (const int64_t bytes = wav_output_bytes(); bytes != last_bytes) {
            last_bytes = bytes;
            last_change = now;
        } else if (now - last_change > stall_limit) {
            return "the plugin sent no audio for 60 s and did not end the song";
        }
    }
    return "";
}

// Plays the song through the plugin into the output, as the player starts
// every song: output, volume and pan, then Play; empty on success, else why
// the song failed.
std::string play_song(const LoadedPlugin& plugin, const std::string& path, EventWindow& window, int64_t limit_option) {
    In_Module& module = *plugin.module;
    module.outMod = &wav_output_module();
    module.SetVolume(player_volume);
    module.SetPan(player_pan);
    const int result = play_module(module, path.c_str());
    // The player calls no Stop after a failed Play.
    if (result != 0) return plugin.file_name + " could not play it (Play returned " + std::to_string(result) + ")";
    const int length_ms = module.GetLength();
    const int64_t limit_ms = limit_option > 0 ? limit_option
                             : length_ms > 0  ? 2 * static_cast<int64_t>(length_ms) + limit_margin_ms
                                              : limit_without_length_ms;
    limit_wav_output(limit_ms);
    std::string failure = play_to_end(window, length_ms, limit_ms);
    module.Stop();
    return failure;
}

// Decodes the song through the plugin's extended read into the output, as
// the format converter does; empty on success, else why the song failed.
std::string read_to_end(const LoadedPlugin& plugin, const std::string& path, int64_t limit_option) {
    ModuleRead read;
    if (!open_module_read(*plugin.module, path.c_str(), read)) {
        return plugin.file_name + " has no extended read for it";
    }
    const int64_t limit_ms = limit_option > 0 ? limit_option : limit_without_length_ms;
    Out_Module& out = wav_output_module();
    std::string failure;
    if (out.Open(read.rate, read.channels, read.bits, -1, -1) < 0) failure = "the output would not open";
    std::vector<char> buffer(extended_read_bytes);
    int kill = 0;
    while (failure.empty()) {
        const intptr_t got = read.get_data(read.handle, buffer.data(), extended_read_bytes, &kill);
        if (got <= 0) break;
        out.Write(buffer.data(), static_cast<int>(got));
        failure = wav_output_problem();
        if (failure.empty() && wav_output_ms() > limit_ms) failure = beyond_limit(limit_ms);
    }
    read.close(read.handle);
    out.Close();
    return failure;
}

int render(const PluginHost& host, EventWindow& window, const Options& options) {
    const std::string& file = options.files.front();
    std::string path = checked_song(file);
    if (path.empty()) return exit_song_failed;
    if (same_file_name(path, full_path(options.output))) {
        report(options.output, "would overwrite the song itself");
        return exit_song_failed;
    }
    const LoadedPlugin* plugin = host.claim(path);
    if (plugin == nullptr) {
        report(file, "no plugin claims this file");
        return exit_song_failed;
    }
    std::string reason;
    if (!begin_wav_output(options.output, reason)) {
        std::fprintf(stderr, "voskel-play: %s\n", reason.c_str());
        discard_wav_output();
        return exit_song_failed;
    }

    window.reset();
    reset_reported_info();
    // A limit given holds from the first sample: the plugin's thread may
    // decode a short song to its end before Play returns, and the song would
    // then pass as ended in time.
    if (options.limit_ms > 0) limit_wav_output(options.limit_ms);
    std::string failure = options.extended_read ? read_to_end(*plugin, path, options.limit_ms)
                                                : play_song(*plugin, path, window, options.limit_ms);
    if (failure.empty()) finish_wav_output(failure);
    if (!failure.empty()) {
        discard_wav_output();
        report(file, failure);
        return exit_song_failed;
    }

    const OutputFormat format = wav_output_format();
    const ReportedInfo info = reported_info();
    std::printf("%s: %s, %d Hz, %d channel%s, %d bit (the plugin reports %d kbps, %d kHz)\n", options.output.c_str(),
                format_time(wav_output_ms()).c_str(), format.sample_rate, format.channels,
                format.channels == 1 ? "" : "s", format.bits_per_sample, info.bitrate_kbps, info.sample_rate_khz);
    return exit_ok;
}

int run(int argc, char** argv) {
    Options options;
    if (const std::string problem = parse_arguments(argc, argv, options); !problem.empty()) return usage_error(problem);
    if (options.help) {
        std::printf(help_text, plugin_file_pattern());
        return exit_ok;
    }

    const std::string folder =
        options.plugin_folder.empty() ? join_path(program_folder(), "plugins") : full_path(options.plugin_folder);
    if (const std::string problem = folder_problem(folder); !problem.empty()) {
        report(folder, "cannot read the plugin folder: " + problem);
        return exit_host_failed;
    }
    provide_temp_variables();

    // The window outlives the plugins: they may post to it until they are unloaded.
    EventWindow window;
    if (!window.problem().empty()) {
        std::fprintf(stderr, "voskel-play: %s\n", window.problem().c_str());
        return exit_host_failed;
    }
    wav_output_module().hMainWindow = window.handle();
    PluginHost host;
    host.load_folder(folder, window.handle());
    for (const PluginLoadFailure& failure : host.failures()) {
        report(join_path(folder, failure.file_name), failure.reason);
    }
    if (host.plugins().empty()) {
        report(folder, std::string("no input plugin (") + plugin_file_pattern() + ") in this folder loads");
        return exit_host_failed;
    }

    if (options.command == "plugins") return list_plugins(host);
    if (options.command == "info") return show_info(host, options.files);
    return render(host, window, options);
}

}  // namespace

}  // namespace voskel::play

int main(int argc, char** argv) { return voskel::play::run(argc, argv); }
