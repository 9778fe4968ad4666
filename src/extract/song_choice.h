// Which member of an archive is its song. Folder entries, and entries that
// are no plain file, never are. Of the file members, in archive order, the
// first whose name the caller says a plugin plays: archives made by
// "zip -r" begin with their folder's entry, and module collections often
// put a file_id.diz or a readme first. Without a judge, the first file
// member is the song. Whatever the extraction checks of a member (its
// name, its size) it checks of the one chosen, as it would of the first.
#pragma once

#include <functional>
#include <utility>

#include "text/text_string.h"

namespace voskel {

class SongChoice {
public:
    // The first file member.
    SongChoice() = default;
    // The first file member whose stored name plays says yes to.
    explicit SongChoice(std::function<bool(const TextString& name)> plays) : plays_(std::move(plays)) {}

    // Whether a file member of this stored name is the song, when no
    // earlier one was.
    bool takes(const TextString& name) const { return !plays_ || plays_(name); }

private:
    std::function<bool(const TextString& name)> plays_;
};

}  // namespace voskel
