#pragma once
// Run records where they are kept and passed: a ".nuvrun" file, or a link
// whose fragment carries one as #run=<base64url>, with &t=<seconds> to start
// watching there.

#include "persist/run_record.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuvalo {

// Beside "save.dat": the player's best run, and the last run until the next
// one ends.
inline constexpr const char* kBestRunFile = "best.nuvrun";
inline constexpr const char* kLastRunFile = "last.nuvrun";

struct RunSource {
    bool ok = false;
    std::vector<std::uint8_t> bytes; // the record's bytes, to be decoded
    double startSeconds = 0.0;       // a link's t=, 0 without one
    std::string reason;              // one line, when not ok
};

// A link, or only its fragment: "...#run=<record>&t=12.5". The parameters
// come in any order; a t= that is no number of seconds is ignored.
RunSource readRunLink(std::string_view link);
// A file's path, or failing that a link.
RunSource readRunArgument(std::string_view fileOrLink);

// A record to watch: one that reads whole by these rules or, to be watched
// with a warning, by the other version of the rules it names.
struct WatchedRun {
    bool ok = false;
    RunRecord run;
    double startSeconds = 0.0;
    std::string reason; // why it cannot be watched, or why it proves nothing
};
WatchedRun watchedRunOf(const RunSource& source, std::uint16_t rules);
WatchedRun readWatchedRun(std::string_view fileOrLink, std::uint16_t rules);

// Encoded and written whole or not at all; false when it could not be.
bool writeRunFile(const char* path, const RunRecord& run);

} // namespace nuvalo
