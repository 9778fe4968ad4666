// The state lock: the one lock that guards what the host's threads share.
//
// Winamp calls the extended exports from its Media Library, ReplayGain,
// converter and burner threads while its main thread plays, and polls
// GetOutputTime from its visualisation threads. The state lock guards the
// registry of inner plugins and whether a scan is under way, the playing
// song's name, file, module and owner, the pending volume and pan, the
// member kept for metadata, the information dialog's copy, the open
// extended reads and the count of calls in progress. (The extractors keep
// locks of their own for their libraries, the private folders one for their
// pool, and the record's flag word one for its writes; none is held while
// another is taken.)
//
// The rule: it is held for short steps on that state alone. Nothing calls
// out of the plugin while it is held: no inner plugin's code (its Init,
// Play, Quit or any export), no host callback, no library load or unload,
// no extraction, no message box. So a plugin whose code calls back into
// ours from another thread, and a host that pumps its messages during a
// call, cannot deadlock the player. Copies of what it guards are handed
// out, never pointers into it. A clang build checks the rule: state is
// GUARDED_BY(state_mutex), functions that need the lock REQUIRES it, and
// functions that call out EXCLUDES it.
#pragma once

#include "platform/thread_annotations.h"

namespace voskel {

inline Mutex state_mutex;

}  // namespace voskel
