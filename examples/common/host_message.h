// How a plugin tells a native host that a song has ended.
//
// On Windows the host's hMainWindow is a window: a plugin posts
// WM_WA_MPEG_EOF (wm_wa_mpeg_eof) to it with PostMessage once the output no
// longer plays. Other systems have no such window, so a native host sets
// hMainWindow to a HostMessageSink of its own (or leaves it null), and a
// plugin calls post_message where it would call PostMessage.
//
// Like PostMessage, post_message may be called from any thread, returns at
// once and only queues the message for the host's own thread: the host never
// calls back into the plugin from inside it.
#pragma once

#include <cstdint>

namespace voskel {

struct HostMessageSink {
    static constexpr uint32_t expected_magic = 0x6b736f76;  // "vosk"

    uint32_t magic;  // expected_magic, so that a plugin can tell the record from a stray pointer
    void (*post_message)(HostMessageSink* sink, unsigned message, intptr_t wparam, intptr_t lparam);
    void* context;  // the host's own
};

}  // namespace voskel
