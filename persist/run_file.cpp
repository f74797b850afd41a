#include "persist/run_file.h"

#include "persist/best_score.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nuvalo {

namespace {

double secondsOf(std::string_view text) {
    // Digits with at most one point: a plain number of seconds, nothing a
    // locale or an exponent could read otherwise.
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789.") != std::string_view::npos ||
        text.find('.') != text.rfind('.')) {
        return 0.0;
    }
    const double seconds = std::strtod(std::string(text).c_str(), nullptr);
    return std::isfinite(seconds) ? seconds : 0.0;
}

} // namespace

RunSource readRunLink(std::string_view link) {
    RunSource source;
    const std::size_t hash = link.find('#');
    std::string_view rest =
        hash == std::string_view::npos ? std::string_view{} : link.substr(hash + 1);
    bool found = false;
    std::string_view record;
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view param = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
        if (param.starts_with("run=")) {
            found = true;
            record = param.substr(4);
        } else if (param.starts_with("t=")) {
            source.startSeconds = secondsOf(param.substr(2));
        }
    }
    if (!found) {
        source.reason = "the link carries no run (#run=)";
    } else if (!fromBase64Url(record, source.bytes)) {
        source.reason = "the link's record is not base64url";
    } else {
        source.ok = true;
    }
    return source;
}

RunSource readRunArgument(std::string_view fileOrLink) {
    const std::string path(fileOrLink);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        RunSource source = readRunLink(fileOrLink);
        if (!source.ok && fileOrLink.find('#') == std::string_view::npos) {
            source.reason = "cannot open " + path + " (and it is no link with #run=)";
        }
        return source;
    }
    RunSource source;
    // One byte past the largest record tells a larger one.
    source.bytes.resize(kMaxRecordBytes + 1);
    source.bytes.resize(std::fread(source.bytes.data(), 1, source.bytes.size(), file));
    source.ok = std::ferror(file) == 0;
    std::fclose(file);
    if (!source.ok) {
        source.bytes.clear();
        source.reason = "cannot read " + path;
    }
    return source;
}

WatchedRun watchedRunOf(const RunSource& source, std::uint16_t rules) {
    WatchedRun watched;
    watched.reason = source.reason;
    if (!source.ok) {
        return watched;
    }
    const ReadRun read = decodeRun(source.bytes.data(), source.bytes.size(), rules);
    watched.ok =
        read.ok || (read.run.rules != rules &&
                    decodeRun(source.bytes.data(), source.bytes.size(), read.run.rules).ok);
    watched.run = read.run;
    watched.startSeconds = source.startSeconds;
    watched.reason = read.reason;
    return watched;
}

WatchedRun readWatchedRun(std::string_view fileOrLink, std::uint16_t rules) {
    return watchedRunOf(readRunArgument(fileOrLink), rules);
}

bool writeRunFile(const char* path, const RunRecord& run) {
    const std::vector<std::uint8_t> bytes = encodeRun(run);
    return !bytes.empty() &&
           writeFileAtomically(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

} // namespace nuvalo
