// --join: the parts of one render checked against each other and joined without re-encoding.
#include "render/join.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <vector>

#include "frames/png.h"
#include "frames/whole_file.h"
#include "render/ffmpeg.h"
#include "render/part_files.h"
#include "scene/message_text.h"
#include "scene/text_file.h"

namespace fs = std::filesystem;

namespace {

struct Part {
    std::string name; // as given
    std::string recordPath;
    PartRecord record;
};

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string partName(const PartRecord& record) {
    return "part " + std::to_string(record.index) + "/" + std::to_string(record.count);
}

// One argument read into its record, or the line that says why it is no complete part.
bool readPart(const std::string& name, Part& part, std::string& problem) {
    const std::string shown = printable(name);
    if (endsWith(name, ".partial")) {
        problem = shown + ": an unfinished file; its part stopped before the end and must be "
                          "rendered again";
        return false;
    }
    part.name = name;
    part.recordPath = endsWith(name, partRecordSuffix) ? name : partRecordPathFor(name);
    std::string reason;
    const std::optional<PartRecord> record = readPartRecord(part.recordPath, reason);
    if (!record) {
        const std::string output =
            part.recordPath.substr(0, part.recordPath.size() - (sizeof partRecordSuffix - 1));
        if (!reason.empty()) {
            problem = shown + ": " + reason;
        } else if (fs::exists(partialPathFor(output))) {
            problem = shown + ": not finished (" + printable(partialPathFor(output)) +
                      " is left of a part that stopped)";
        } else if (fs::exists(output)) {
            problem =
                shown + ": no record " + printable(part.recordPath) + ", so not a complete part";
        } else {
            problem = shown + ": no such part";
        }
        return false;
    }
    part.record = *record;
    const std::string wrong = partOutputProblem(part.recordPath, part.record);
    if (!wrong.empty()) {
        problem = shown + ": not complete: " + wrong;
        return false;
    }
    return true;
}

// "" when the output can hold parts of this format, else the reason.
std::string outputMismatch(const std::string& output, const std::string& format) {
    const std::string container = format.substr(0, format.find(' '));
    const std::string extension = output.substr(output.rfind('.') + 1);
    const bool h264 = container == "mp4" || container == "mkv" || container == "mov";
    const bool fits = container == "png"
                          ? parseFramePattern(output).has_value()
                          : (h264 ? extension == "mp4" || extension == "mkv" || extension == "mov"
                                  : extension == container);
    if (fits) {
        return "";
    }
    const std::string wanted = container == "png" ? "their frame pattern"
                               : h264             ? "NAME.mp4, .mkv or .mov"
                                                  : "NAME." + container;
    return "the parts are " + container + "; -o must be " + wanted + ", not " + ::quoted(output);
}

// Up to size bytes from offset, fewer only where the file ends; -1 with errno.
static ssize_t readAt(int fd, char* data, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

enum class Copy { done, readFailed, writeFailed };

// Everything from offset to the end of one file onto the other, with errno on failure.
static Copy copyBytes(int from, off_t offset, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = readAt(from, buffer.data(), buffer.size(), offset);
        if (got <= 0) {
            return got == 0 ? Copy::done : Copy::readFailed;
        }
        offset += got;
        if (!writeFully(to, buffer.data(), static_cast<size_t>(got))) {
            return Copy::writeFailed;
        }
    }
}

// The stream header of the first part, then every part's frames after its own header. A failure
// to write names the output, as every other output's does, never the .partial it is written as;
// one to read names the part.
bool joinY4m(const std::vector<Part>& parts, const std::string& output, const std::string& partial,
             std::string& error) {
    const int out = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        error = describeErrno("cannot write", output);
        return false;
    }
    bool written = true;
    std::string firstHeader;
    for (size_t i = 0; i < parts.size() && written; ++i) {
        const std::string path = partOutputPath(parts[i].recordPath, parts[i].record, 0);
        const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        char head[256] = {};
        const ssize_t got = in >= 0 ? readAt(in, head, sizeof head, 0) : -1;
        const char* end =
            got > 0 ? static_cast<const char*>(std::memchr(head, '\n', static_cast<size_t>(got))) : nullptr;
        const std::string header =
            end ? std::string(head, static_cast<size_t>(end + 1 - head)) : "";
        if (got < 0) {
            error = describeErrno("cannot read", path);
            written = false;
        } else if (header.empty() || (i > 0 && header != firstHeader)) {
            error = printable(path) + ": its stream header is not the first part's";
            written = false;
        } else {
            firstHeader = header;
            const off_t skip = i == 0 ? 0 : static_cast<off_t>(header.size());
            const Copy copied = copyBytes(in, skip, out);
            written = copied == Copy::done;
            error = copied == Copy::readFailed    ? describeErrno("cannot read", path)
                    : copied == Copy::writeFailed ? describeErrno("cannot write", output)
                                                  : "";
        }
        if (in >= 0) {
            close(in);
        }
    }
    written = fsync(out) == 0 && written;
    // Interrupted, close has still released the descriptor, and fsync has kept the data.
    written = (close(out) == 0 || errno == EINTR) && written;
    if (!written && error.empty()) {
        error = describeErrno("cannot write", output);
    }
    return written;
}

// The parts one after another through ffmpeg's concat demuxer, copied as they are: each began
// on a key frame of its own encoding.
bool joinVideo(const std::vector<Part>& parts, const RenderOptions& options,
               const std::string& partial, std::string& error) {
    const std::string program = findOnPath("ffmpeg");
    if (program.empty()) {
        error = "ffmpeg is not installed (Debian package ffmpeg)";
        return false;
    }
    char listPath[] = "/tmp/prismwafer-join-XXXXXX";
    const int listFd = mkstemp(listPath);
    if (listFd < 0) {
        error = describeErrno("cannot write", listPath);
        return false;
    }
    std::string list = "ffconcat version 1.0\n";
    for (const Part& part : parts) {
        std::string path = fs::absolute(partOutputPath(part.recordPath, part.record, 0)).string();
        std::string escaped;
        for (const char c : path) {
            escaped += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        list += "file '" + escaped + "'\n";
    }
    const bool listed = writeFully(listFd, list.data(), list.size());
    close(listFd);

    const PartRecord& record = parts[0].record;
    VideoEncoding encoding;
    encoding.container = options.output.substr(options.output.rfind('.') + 1);
    encoding.audio = options.audio;
    uint64_t numerator = 1, denominator = 1;
    std::sscanf(record.fps.c_str(), "%" SCNu64 ":%" SCNu64, &numerator, &denominator);
    const double fps = static_cast<double>(numerator) / static_cast<double>(denominator);
    encoding.audioStart = static_cast<double>(record.first) / fps;
    encoding.length = static_cast<double>(record.last - record.first + 1) / fps;
    std::vector<std::string> arguments = {"-nostdin", "-y",    "-loglevel", "error", "-f",
                                          "concat",   "-safe", "0",         "-i",    listPath};
    const std::vector<std::string> soundtrack = soundtrackArguments(encoding);
    arguments.insert(arguments.end(), soundtrack.begin(), soundtrack.end());
    arguments.insert(arguments.end(), {"-c:v", "copy"});
    if (encoding.container == "mp4" || encoding.container == "mov") {
        arguments.insert(arguments.end(), {"-movflags", "+faststart"});
    }
    const std::string format = encoding.container == "mkv" ? "matroska" : encoding.container;
    arguments.insert(arguments.end(), {"-f", format, partial});
    FfmpegProcess ffmpeg;
    bool joined = listed && startFfmpeg(ffmpeg, program, arguments, error);
    joined = joined && finishFfmpeg(ffmpeg, false, error);
    unlink(listPath);
    if (!listed) {
        error = "cannot write the list of parts for ffmpeg";
    } else if (!joined) {
        error = "cannot write " + printable(options.output) + ": " + error;
    }
    return joined;
}

} // namespace

int joinParts(const RenderOptions& options, const char* programName) {
    auto say = [&](const std::string& line) {
        std::cerr << programName << ": " << line << std::endl;
    };
    std::vector<std::string> problems;
    std::vector<Part> parts;
    for (const std::string& name : options.parts) {
        Part part;
        std::string problem;
        if (readPart(name, part, problem)) {
            parts.push_back(part);
        } else {
            problems.push_back(problem);
        }
    }
    // Every part against the first complete one; then each K once.
    std::map<int, const Part*> byIndex;
    for (const Part& part : parts) {
        const Part& first = parts.front();
        const std::string difference = renderDifference(first.record, part.record);
        const FrameRange whole{part.record.first, part.record.last, ""};
        const FrameRange expected = partRange(whole, part.record.index, part.record.count);
        if (!difference.empty()) {
            problems.push_back(printable(part.name) + ": a part of another render than " +
                               printable(first.name) + ": " + difference + " differs");
        } else if (expected.first != part.record.partFirst ||
                   expected.last != part.record.partLast) {
            problems.push_back(printable(part.name) + ": its frames are not those of " +
                               partName(part.record) + " of its range");
        } else if (byIndex.count(part.record.index)) {
            problems.push_back(printable(byIndex[part.record.index]->name) + " and " +
                               printable(part.name) + " are both " + partName(part.record));
        } else {
            byIndex[part.record.index] = &part;
        }
    }
    if (!parts.empty() && problems.empty()) {
        const PartRecord& first = parts.front().record;
        const FrameRange whole{first.first, first.last, ""};
        for (int k = 1; k <= first.count; ++k) {
            if (!byIndex.count(k)) {
                const FrameRange missing = partRange(whole, k, first.count);
                problems.push_back("part " + std::to_string(k) + "/" + std::to_string(first.count) +
                                   " is missing (frames " + std::to_string(missing.first) + " to " +
                                   std::to_string(missing.last) + ")");
            }
        }
        const std::string mismatch = outputMismatch(options.output, first.format);
        if (!mismatch.empty()) {
            problems.push_back(mismatch);
        } else if (!options.audio.empty() && first.format == "png") {
            problems.push_back("--audio goes with a finished video; the parts are PNG frames");
        }
    }
    std::string reason;
    if (problems.empty() && !options.audio.empty() && !canReadTextFile(options.audio, reason)) {
        problems.push_back("cannot read the soundtrack " + printable(options.audio) + ": " +
                           reason);
    }
    if (!problems.empty()) {
        for (const std::string& problem : problems) {
            say(problem);
        }
        say("nothing written");
        return 1;
    }
    std::vector<Part> ordered;
    for (const auto& entry : byIndex) {
        ordered.push_back(*entry.second);
    }
    const PartRecord& record = ordered.front().record;
    const int64_t frames = record.last - record.first + 1;
    const std::string whole =
        std::to_string(frames) + " frames, " + std::to_string(record.first) + " to " +
        std::to_string(record.last) + ", " + record.size + " at " +
        (record.fps.size() > 2 && record.fps.compare(record.fps.size() - 2, 2, ":1") == 0
             ? record.fps.substr(0, record.fps.size() - 2)
             : record.fps) +
        " fps";
    if (record.format == "png") {
        // The frames already carry the sequence's numbers: the parts are one sequence as they lie.
        const std::string folder = fs::path(ordered.front().recordPath).parent_path().string();
        const std::string wanted = fs::path(options.output).parent_path().string();
        std::error_code failure;
        if (fs::path(options.output).filename() != record.pattern ||
            !fs::equivalent(folder.empty() ? "." : folder, wanted.empty() ? "." : wanted,
                            failure)) {
            say("the parts are the frames " + printable(folder.empty() ? "" : folder + "/") +
                printable(record.pattern) + ", not " + printable(options.output) +
                "; nothing written");
            return 1;
        }
        if (!options.quiet) {
            std::cout << printable(options.output) << ": " << whole << ", complete in "
                      << ordered.size() << " parts; the frames are one sequence already"
                      << std::endl;
        }
        return 0;
    }
    const std::string partial = partialPathFor(options.output);
    std::string error;
    const bool joined = record.format == "y4m" ? joinY4m(ordered, options.output, partial, error)
                                               : joinVideo(ordered, options, partial, error);
    if (!joined || std::rename(partial.c_str(), options.output.c_str()) != 0) {
        error = error.empty() ? describeErrno("cannot write", options.output) : error;
        unlink(partial.c_str());
        say(error);
        return 1;
    }
    if (!options.quiet) {
        std::cout << "Joined " << ordered.size() << " parts into " << printable(options.output)
                  << ": " << whole << std::endl;
    }
    return 0;
}
