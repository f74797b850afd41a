// nuvalo-sim: runs the game headlessly from a script of window messages.
#include "app/sim/sim_script.h"
#include "persist/run_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* kUsage =
    "Usage: nuvalo-sim [--seed N] [--quiet] [--runs DIR] [SCRIPT]\n"
    "       nuvalo-sim --replay FILE|LINK\n"
    "       nuvalo-sim --replay FILE|LINK --gif OUT [--from S] [--to S] [--fps 50|25]\n"
    "                  [--scale 1|2]\n"
    "       nuvalo-sim --link FILE\n"
    "Runs Nuvalo without a window, driven by a script of window messages, and\n"
    "prints the game state as one JSON line after each event.\n"
    "\n"
    "  --seed N   seed the random source with N (0..4294967295) instead of the time\n"
    "  --quiet    print only the state after the last event\n"
    "  --runs DIR write each run the script finishes as DIR/1.nuvrun, DIR/2.nuvrun, ...\n"
    "  --replay R replay a run record (a .nuvrun file or a link with #run=): a state\n"
    "             line per tick, then the verdict as one JSON line; exit status 0\n"
    "             verified, 1 the run does not reach its claim, 2 unreadable record\n"
    "  --gif OUT  with --replay: print only the verdict and write a stretch of the run\n"
    "             as an animated GIF, each frame as the game drew it, looping; by\n"
    "             default its last 10 s, up to the completed result. Exit status as\n"
    "             --replay's, 2 also for a stretch the run does not have, 1 when the\n"
    "             file cannot be written; nothing is written then\n"
    "  --from S   the clip starts S seconds into the run (10 s before --to by default)\n"
    "  --to S     and ends S seconds into it (10 s after --from by default)\n"
    "  --fps N    50 frames a second (default), or 25\n"
    "  --scale N  600 x 450 pixels (1, default), or 1200 x 900 (2)\n"
    "  --link F   print the run record F as a link's fragment, #run=...\n"
    "  --help     show this text\n"
    "  SCRIPT     script file; standard input when absent or '-'\n"
    "\n"
    "Script lines (blank lines and '#' comments are ignored):\n"
    "  keydown VK, keyup VK   virtual key: 37 Left, 39 Right, 32 Space, 27 Escape\n"
    "  mousemove X Y          cursor position in the window\n"
    "  lbuttondown, lbuttonup left mouse button\n"
    "  timer [N]              N timer messages (default 1), each followed by a paint\n"
    "  paint                  one extra paint\n"
    "  snapshot PATH          write the last composed frame to PATH as a PNG\n"
    "\"keyup 27\" closes the window and ends the run. \"save.dat\" is read and\n"
    "written in the current directory. Exit status: 0; 1 when the output cannot\n"
    "be written; 2 for a malformed script or command line.\n";

int usageError(const char* message, const char* detail) {
    std::fprintf(stderr, "nuvalo-sim: %s%s\nTry 'nuvalo-sim --help'.\n", message, detail);
    return nuvalo::sim::kExitBadScript;
}

bool parseSeconds(const char* text, std::optional<double>& seconds) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) {
        return false;
    }
    seconds = value;
    return true;
}

bool parseSeed(const char* text, std::uint32_t& seed) {
    if (*text < '0' || *text > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) {
        return false;
    }
    seed = static_cast<std::uint32_t>(value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    nuvalo::sim::Options options;
    // Without --seed the game is seeded as the window would seed it.
    options.seed = static_cast<std::uint32_t>(std::time(nullptr));
    const char* scriptPath = nullptr;
    const char* replay = nullptr;
    const char* link = nullptr;
    const char* gif = nullptr;
    nuvalo::clip::ClipOptions clip;
    const char* clipOption = nullptr; // the first clip option given, for its error
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return nuvalo::sim::kExitOk;
        }
        if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--runs" || arg == "--replay" || arg == "--link") {
            if (i + 1 >= argc) {
                return usageError("missing value after ", argv[i]);
            }
            const char* value = argv[++i];
            if (arg == "--runs") {
                options.runsDir = value;
            } else {
                (arg == "--replay" ? replay : link) = value;
            }
        } else if (arg == "--gif" || arg == "--from" || arg == "--to" || arg == "--fps" ||
                   arg == "--scale") {
            if (i + 1 >= argc) {
                return usageError("missing value after ", argv[i]);
            }
            const char* value = argv[++i];
            const std::string_view v = value;
            bool ok = true;
            if (arg == "--gif") {
                gif = value;
            } else if (arg == "--from" || arg == "--to") {
                ok = parseSeconds(value, arg == "--from" ? clip.fromSeconds : clip.toSeconds);
            } else if (arg == "--fps") {
                ok = v == "50" || v == "25";
                clip.fps = v == "25" ? 25 : 50;
            } else {
                ok = v == "1" || v == "2";
                clip.scale = v == "2" ? 2 : 1;
            }
            if (!ok) {
                return usageError(arg == "--fps"     ? "--fps is 50 or 25, not "
                                  : arg == "--scale" ? "--scale is 1 or 2, not "
                                                     : "expected seconds of play, not ",
                                  value);
            }
            if (arg != "--gif" && clipOption == nullptr) {
                clipOption = argv[i - 1];
            }
        } else if (arg == "--seed" || arg.starts_with("--seed=")) {
            const char* value = arg == "--seed" ? (i + 1 < argc ? argv[++i] : nullptr)
                                                : argv[i] + std::strlen("--seed=");
            if (value == nullptr || !parseSeed(value, options.seed)) {
                return usageError("--seed needs a number from 0 to 4294967295", "");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option ", argv[i]);
        } else if (scriptPath != nullptr) {
            return usageError("more than one script given: ", argv[i]);
        } else {
            scriptPath = argv[i];
        }
    }

    if (gif != nullptr && replay == nullptr) {
        return usageError("--gif clips a run given with --replay", "");
    }
    if (clipOption != nullptr && gif == nullptr) {
        return usageError("--gif OUT is missing for ", clipOption);
    }

#ifdef _WIN32
    // The same script gives the same bytes on every system: no CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    if (replay != nullptr || link != nullptr) {
        const nuvalo::RunSource source = nuvalo::readRunArgument(replay != nullptr ? replay : link);
        if (!source.ok) {
            std::fprintf(stderr, "nuvalo-sim: %s\n", source.reason.c_str());
            return nuvalo::sim::kExitBadRecord;
        }
        const std::vector<std::uint8_t>& bytes = source.bytes;
        const int status =
            gif != nullptr      ? nuvalo::sim::clipRecord(bytes, clip, gif, stdout, stderr)
            : replay != nullptr ? nuvalo::sim::replayRecord(bytes, stdout)
                                : (std::puts(nuvalo::sim::linkFragment(bytes).c_str()) < 0 ? 1 : 0);
        return std::fflush(stdout) != 0 ? 1 : status;
    }
    if (!options.runsDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.runsDir, error);
        if (!std::filesystem::is_directory(options.runsDir)) {
            return usageError("--runs needs a folder it can make or use: ",
                              options.runsDir.c_str());
        }
    }
    std::FILE* in = stdin;
    if (scriptPath != nullptr && std::strcmp(scriptPath, "-") != 0) {
        in = std::fopen(scriptPath, "rb");
        if (in == nullptr) {
            std::fprintf(stderr, "nuvalo-sim: cannot open %s: %s\n", scriptPath,
                         std::strerror(errno));
            return nuvalo::sim::kExitBadScript;
        }
    }
    const int status = nuvalo::sim::runScript(in, options, stdout, stderr);
    if (in != stdin) {
        std::fclose(in);
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "nuvalo-sim: cannot write the state lines\n");
        return 1;
    }
    return status;
}
