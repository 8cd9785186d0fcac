// A part's record on disk: written just before the part's output takes its final name, read back
// to tell a complete part from one that stopped, was cut short or belongs to another render.
#include "render/part_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>

#include "frames/png.h"
#include "frames/whole_file.h"
#include "render/frame_output.h"
#include "render/y4m.h"
#include "scene/message_text.h"
#include "scene/text_file.h"

namespace fs = std::filesystem;

static const uint8_t pngEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

static std::string containerOf(const std::string& path) {
    return path.substr(path.rfind('.') + 1);
}

PartRecord describePart(const RenderOptions& options, const CheckedSceneList& list,
                        const FrameRange& whole, const FrameRange& part) {
    PartRecord record;
    record.index = options.partIndex;
    record.count = options.partCount;
    // What the frames are drawn from: the list's bytes and those of every shader it names.
    Fingerprint contents;
    std::string text, reason;
    readTextFileQuietly(options.sceneList, text, reason);
    contents.add(text);
    for (const SceneOrigin& origin : list.origins) {
        for (const std::string* path : {&origin.vertexPath, &origin.fragmentPath}) {
            text.clear();
            readTextFileQuietly(*path, text, reason);
            contents.add(text);
        }
    }
    record.list = contents.hex();
    record.size = std::to_string(options.width) + "x" + std::to_string(options.height);
    uint64_t numerator = 0, denominator = 1;
    frameRateFraction(options.fps, numerator, denominator);
    record.fps = std::to_string(numerator) + ":" + std::to_string(denominator);
    record.first = whole.first;
    record.last = whole.last;
    record.partFirst = part.first;
    record.partLast = part.last;
    if (options.outputKind == OutputKind::video) {
        const std::string container = containerOf(options.output);
        record.format = container + " crf " +
                        std::to_string(options.crf.value_or(container == "webm" ? 31 : 18));
    } else if (options.outputKind == OutputKind::pngSequence) {
        record.format = "png";
        record.pattern = fs::path(options.output).filename().string();
    } else {
        record.format = "y4m";
    }
    return record;
}

std::string partRecordPath(const RenderOptions& options, const PartRecord& record) {
    if (options.outputKind != OutputKind::pngSequence) {
        return partRecordPathFor(options.output);
    }
    return partRecordPathFor(formatFramePath(*parseFramePattern(options.output), record.partFirst));
}

std::optional<PartRecord> readPartRecord(const std::string& recordPath, std::string& reason) {
    std::string text;
    if (!readTextFileQuietly(recordPath, text, reason)) {
        reason = errno == ENOENT ? "" : reason;
        return std::nullopt;
    }
    std::optional<PartRecord> record = parsePartRecord(text);
    if (!record) {
        reason = printable(recordPath) + " is not the record of a part";
    }
    return record;
}

std::string partOutputPath(const std::string& recordPath, const PartRecord& record, int64_t frame) {
    const std::string beside =
        recordPath.substr(0, recordPath.size() - (sizeof partRecordSuffix - 1));
    if (record.pattern.empty()) {
        return beside;
    }
    const std::optional<FramePattern> pattern = parseFramePattern(record.pattern);
    const fs::path folder = fs::path(recordPath).parent_path();
    return pattern ? (folder / formatFramePath(*pattern, frame)).string() : beside;
}

static bool endsLikePng(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    uint8_t tail[sizeof pngEnd] = {};
    struct stat status {};
    const bool read = fd >= 0 && fstat(fd, &status) == 0 &&
                      status.st_size >= static_cast<off_t>(sizeof tail) &&
                      pread(fd, tail, sizeof tail, status.st_size - sizeof tail) ==
                          static_cast<ssize_t>(sizeof tail);
    if (fd >= 0) {
        close(fd);
    }
    return read && std::memcmp(tail, pngEnd, sizeof tail) == 0;
}

std::string partOutputProblem(const std::string& recordPath, const PartRecord& record) {
    uint64_t bytes = 0;
    const int64_t last = record.pattern.empty() ? record.partFirst : record.partLast;
    for (int64_t frame = record.partFirst; frame <= last; ++frame) {
        const std::string path = partOutputPath(recordPath, record, frame);
        std::error_code failure;
        const uintmax_t size = fs::file_size(path, failure);
        if (failure) {
            const bool stopped = fs::exists(partialPathFor(path));
            return printable(path) +
                   (stopped ? " was not finished (its .partial is there)" : " is missing");
        }
        if (!record.pattern.empty() && !endsLikePng(path)) {
            return printable(path) + " is not a whole PNG file";
        }
        bytes += size;
    }
    if (bytes != record.bytes) {
        return "it holds " + std::to_string(bytes) + " bytes where its record says " +
               std::to_string(record.bytes);
    }
    return "";
}

bool beginPart(const RenderOptions& options, const CheckedSceneList& list, const FrameRange& whole,
               FrameRange& range, FrameOutput& output, bool& complete, std::string& error) {
    range = partRange(whole, options.partIndex, options.partCount);
    if (!range.error.empty()) {
        error = range.error;
        return false;
    }
    PartRecord wanted = describePart(options, list, whole, range);
    const std::string recordPath = partRecordPath(options, wanted);
    std::string reason;
    const std::optional<PartRecord> found = readPartRecord(recordPath, reason);
    complete = found && renderDifference(wanted, *found).empty() && found->index == wanted.index &&
               found->partFirst == wanted.partFirst && found->partLast == wanted.partLast &&
               partOutputProblem(recordPath, *found).empty();
    const std::string which =
        "part " + std::to_string(wanted.index) + "/" + std::to_string(wanted.count) + " (frames " +
        std::to_string(range.first) + " to " + std::to_string(range.last) + ")";
    if (complete) {
        if (!options.quiet) {
            std::cout << printable(options.output) << ": " << which
                      << " is complete already; skipped" << std::endl;
        }
        return true;
    }
    // An earlier try's record no longer says what the output will hold.
    if (unlink(recordPath.c_str()) != 0 && errno != ENOENT) {
        error = describeErrno("cannot remove", recordPath);
        return false;
    }
    output.part = wanted;
    output.partRecordPath = recordPath;
    return true;
}

bool writePartRecord(FrameOutput& output, std::string& error) {
    if (!output.part) {
        return true;
    }
    PartRecord& record = *output.part;
    if (output.kind == OutputKind::pngSequence) {
        record.bytes = 0;
        for (int64_t frame = record.partFirst; frame <= record.partLast; ++frame) {
            std::error_code failure;
            record.bytes += fs::file_size(formatFramePath(output.pattern, frame), failure);
        }
    } else {
        std::error_code failure;
        record.bytes = fs::file_size(output.partialPath, failure);
    }
    const std::string text = partRecordText(record);
    return writeWholeFile(output.partRecordPath, text.data(), text.size(), error);
}

void abandonPartRecord(FrameOutput& output) {
    if (output.part) {
        unlink(output.partRecordPath.c_str());
    }
}
