#include <windows.h>

#include "event_window.h"

namespace voskel::play {

namespace {

constexpr const char* class_name = "voskel-play main window";

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == wm_wa_mpeg_eof) {
        if (auto* ended = reinterpret_cast<bool*>(GetWindowLongPtrA(window, GWLP_USERDATA))) *ended = true;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

struct EventWindow::State {
    HWND window = nullptr;
    bool ended = false;  // touched only by this thread's window procedure and wait_for_end
    std::string problem;
};

EventWindow::EventWindow() : state_(std::make_unique<State>()) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = class_name;
    if (RegisterClassA(&window_class) == 0) {
        state_->problem = "cannot register the main window's class (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    // A message-only window: never shown, but plugins can post to it from any thread.
    state_->window = CreateWindowExA(0, class_name, "voskel-play", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                                     nullptr);
    if (state_->window == nullptr) {
        state_->problem = "cannot make the main window (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    SetWindowLongPtrA(state_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state_->ended));
}

EventWindow::~EventWindow() {
    if (state_->window != nullptr) DestroyWindow(state_->window);
    UnregisterClassA(class_name, GetModuleHandleA(nullptr));
}

const std::string& EventWindow::problem() const { return state_->problem; }

HostWindow EventWindow::handle() const { return state_->window; }

void EventWindow::reset() { state_->ended = false; }

bool EventWindow::wait_for_end(int timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (state_->ended) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

}  // namespace voskel::play
