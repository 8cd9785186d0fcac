// A render split into N parts by frame range, and the record each part leaves beside its output
// so that a join knows the parts belong together (GL-free).
#include "render/parts.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "frames/command_line.h"
#include "scene/message_text.h"

std::string readPart(const std::string& value, int& index, int& count) {
    const std::string refused =
        "--part needs K/N, the K-th of N parts with K from 1 to N, not " + quoted(value);
    const size_t slash = value.find('/');
    if (slash == std::string::npos) {
        return refused;
    }
    if (!readCount("--part", value.substr(0, slash), index).empty() ||
        !readCount("--part", value.substr(slash + 1), count).empty() || index > count) {
        return refused;
    }
    return "";
}

FrameRange partRange(const FrameRange& whole, int index, int count) {
    FrameRange part;
    const int64_t total = whole.last - whole.first + 1;
    if (total < count) {
        part.error = "the range has " + std::to_string(total) +
                     (total == 1 ? " frame" : " frames") + ", too few for " +
                     std::to_string(count) + " parts";
        return part;
    }
    // floor(total * (k - 1) / count) without the product, which a long range would overflow.
    const int64_t each = total / count, over = total % count;
    auto start = [&](int k) { return whole.first + (k - 1) * each + (k - 1) * over / count; };
    part.first = start(index);
    part.last = start(index + 1) - 1;
    return part;
}

std::string partRecordText(const PartRecord& r) {
    std::ostringstream text;
    text << "prismwafer-render part " << r.index << "/" << r.count << "\n"
         << "list " << r.list << "\n"
         << "size " << r.size << "\n"
         << "fps " << r.fps << "\n"
         << "range " << r.first << " " << r.last << "\n"
         << "frames " << r.partFirst << " " << r.partLast << "\n"
         << "format " << r.format << "\n";
    if (!r.pattern.empty()) {
        text << "pattern " << r.pattern << "\n";
    }
    text << "bytes " << r.bytes << "\n";
    return text.str();
}

std::optional<PartRecord> parsePartRecord(const std::string& text) {
    PartRecord r;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) ||
        std::sscanf(line.c_str(), "prismwafer-render part %d/%d", &r.index, &r.count) != 2) {
        return std::nullopt;
    }
    int seen = 0;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        long long a = 0, b = 0;
        unsigned long long bytes = 0;
        if (key == "list" || key == "size" || key == "fps" || key == "format" || key == "pattern") {
            (key == "list"     ? r.list
             : key == "size"   ? r.size
             : key == "fps"    ? r.fps
             : key == "format" ? r.format
                               : r.pattern) = value;
            seen += key == "pattern" ? 0 : 1;
        } else if ((key == "range" || key == "frames") &&
                   std::sscanf(value.c_str(), "%lld %lld", &a, &b) == 2) {
            (key == "range" ? r.first : r.partFirst) = a;
            (key == "range" ? r.last : r.partLast) = b;
            ++seen;
        } else if (key == "bytes" && std::sscanf(value.c_str(), "%llu", &bytes) == 1) {
            r.bytes = bytes;
            ++seen;
        } else {
            return std::nullopt;
        }
    }
    const bool sound = seen == 7 && r.index >= 1 && r.index <= r.count && r.first <= r.last &&
                       r.partFirst <= r.partLast;
    return sound ? std::optional<PartRecord>(r) : std::nullopt;
}

std::string renderDifference(const PartRecord& a, const PartRecord& b) {
    if (a.list != b.list) {
        return "its scene list or shaders";
    }
    if (a.size != b.size) {
        return "its frame size (" + b.size + ", not " + a.size + ")";
    }
    if (a.fps != b.fps) {
        return "its frame rate (" + b.fps + ", not " + a.fps + ")";
    }
    if (a.first != b.first || a.last != b.last) {
        return "its range (frames " + std::to_string(b.first) + " to " + std::to_string(b.last) +
               ", not " + std::to_string(a.first) + " to " + std::to_string(a.last) + ")";
    }
    if (a.format != b.format || a.pattern != b.pattern) {
        return "its format (" + b.format + ", not " + a.format + ")";
    }
    if (a.count != b.count) {
        return "its number of parts (" + std::to_string(b.count) + ", not " +
               std::to_string(a.count) + ")";
    }
    return "";
}

void Fingerprint::add(const std::string& bytes) {
    // The length first, so that the pieces' boundaries count too.
    const std::string length = std::to_string(bytes.size()) + ":";
    for (const std::string* piece : {&length, &bytes}) {
        for (const char c : *piece) {
            state = (state ^ static_cast<uint8_t>(c)) * 1099511628211ull;
        }
    }
}

std::string Fingerprint::hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, state);
    return text;
}

std::string partRecordPathFor(const std::string& output) {
    return output + partRecordSuffix;
}
