#include <chrono>
#include <condition_variable>
#include <mutex>

#include "event_window.h"
#include "host_message.h"

namespace voskel::play {

struct EventWindow::State {
    HostMessageSink sink{HostMessageSink::expected_magic, post, this};
    std::mutex lock;
    std::condition_variable posted;
    bool ended = false;
    std::string problem;

    static void post(HostMessageSink* sink, unsigned message, intptr_t, intptr_t) {
        if (message != wm_wa_mpeg_eof) return;
        auto* state = static_cast<State*>(sink->context);
        {
            std::lock_guard<std::mutex> guard(state->lock);
            state->ended = true;
        }
        state->posted.notify_all();
    }
};

EventWindow::EventWindow() : state_(std::make_unique<State>()) {}
EventWindow::~EventWindow() = default;

const std::string& EventWindow::problem() const { return state_->problem; }

HostWindow EventWindow::handle() const { return &state_->sink; }

void EventWindow::reset() {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->ended = false;
}

bool EventWindow::wait_for_end(int timeout_ms) {
    std::unique_lock<std::mutex> guard(state_->lock);
    return state_->posted.wait_for(guard, std::chrono::milliseconds(timeout_ms), [this] { return state_->ended; });
}

}  // namespace voskel::play
