// Message boxes caught instead of shown: no test may wait for a user.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch.h"

namespace voskel::test {

struct CapturedMessage {
    void* owner = nullptr;
    std::string text;
    std::string caption;
    unsigned style = 0;  // the MessageBoxA style, where the platform has one
};

// Catches what code linked into this test shows through system_calls().
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    const std::vector<CapturedMessage>& messages() const { return messages_; }
    // Runs while each message is up, as the host's message loop runs calls
    // into the plugin while a box waits for the user.
    void while_shown(void (*call)()) { while_shown_ = call; }

private:
    static void record(WindowHandle owner, const char* text, const char* caption);
    static MessageCapture* active_;
    ScopedSystemCalls calls_;
    std::vector<CapturedMessage> messages_;
    void (*while_shown_)() = nullptr;
};

// Catches what a loaded plugin library shows. On Windows its import of
// MessageBoxA is pointed at a recorder; elsewhere the plugin writes its
// messages as "caption: text" lines to standard error, which is redirected
// into a file while the capture lasts. Messages are told apart by caption.
class PluginMessageCapture {
public:
    PluginMessageCapture(LibraryHandle plugin, std::string caption);
    ~PluginMessageCapture();
    PluginMessageCapture(const PluginMessageCapture&) = delete;
    PluginMessageCapture& operator=(const PluginMessageCapture&) = delete;

    std::vector<CapturedMessage> messages() const;

private:
    LibraryHandle plugin_;
    std::string caption_;
    void* original_ = nullptr;
    int saved_stderr_ = -1;
    std::string stderr_file_;
};

}  // namespace voskel::test
