// Where plugins send the end-of-song message: the host's main window.
// On Windows a hidden message-only window, pumped by wait_for_end; elsewhere
// a HostMessageSink (see host_message.h).
#pragma once

#include <memory>
#include <string>

#include "winamp/input_plugin.h"

namespace voskel::play {

class EventWindow {
public:
    EventWindow();
    ~EventWindow();
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;

    // Empty when the window exists; otherwise why it could not be made.
    const std::string& problem() const;
    // The value for the plugins' hMainWindow.
    HostWindow handle() const;
    // Forgets an end-of-song message that came earlier.
    void reset();
    // Handles the window's messages for up to timeout_ms; true once a
    // plugin has posted the end of the song.
    bool wait_for_end(int timeout_ms);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace voskel::play
