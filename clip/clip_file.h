#pragma once
// The clips the desktop game makes while watching a run: files of their own
// beside the runs ("save.dat"'s folder, the working directory), named
// nuvalo-clip-1.gif, -2, ..., never written over a file already there.

#include "clip/gif_writer.h"
#include "persist/run_record.h"

#include <cstdint>
#include <functional>
#include <string>

namespace nuvalo::clip {

// The watch window's title, before any clip is asked for.
inline constexpr char kWatchTitle[] = "Nuvalo - watching a run";

// Takes the first of nuvalo-clip-1.gif, nuvalo-clip-2.gif, ... that is not
// in the working directory by creating it, empty, so that two watches making
// clips at once never choose the same name. Empty, with `reason`, when the
// folder takes no new file.
std::string takeClipName(std::string& reason);

// Writes the steps of `run` after `from` up to `to` (as the watch counts
// them) to a name takeClipName chose, says so in a line on stdout (or why
// not on stderr) and tells `title` what the window's title says meanwhile
// and after. With no writer it says that this build makes no clips.
void saveClip(const RunRecord& run, std::uint32_t from, std::uint32_t to, GifWriter* writer,
              const std::function<void(const std::string&)>& title);

} // namespace nuvalo::clip
