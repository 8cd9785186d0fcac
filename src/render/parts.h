// A render split into N parts by frame range, and the record each part leaves beside its output
// so that a join knows the parts belong together (GL-free).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "frames/frame_clock.h"

// --part K/N, K from 1 to N; "" when the value is good, or the one-line reason why not.
std::string readPart(const std::string& value, int& index, int& count);

// The K-th of N contiguous chunks of the range, as equal as integer division allows: chunk K
// starts at frame first + total * (K - 1) / N, so chunks 1 to N tile the range exactly. An error
// when the range has fewer frames than parts.
FrameRange partRange(const FrameRange& whole, int index, int count);

// What a part is: which render it belongs to, and what it holds. A part's output is complete only
// when its record is there and the output's bytes add up to what the record says.
struct PartRecord {
    int index = 0, count = 0;
    std::string list;  // a fingerprint of the scene list's and its shaders' contents
    std::string size;  // "1920x1080"
    std::string fps;   // the frame rate as a fraction, "60:1"
    int64_t first = 0; // the whole render's range
    int64_t last = -1; //
    int64_t partFirst = 0, partLast = -1;
    std::string format;  // "y4m", "png", or the video's container and quality: "mp4 crf 18"
    std::string pattern; // a PNG sequence's file names, without the folder
    uint64_t bytes = 0;  // of the output file, or of all the frames of a PNG part
};

std::string partRecordText(const PartRecord& record);
std::optional<PartRecord> parsePartRecord(const std::string& text);

// The first thing in which two parts' renders differ, named for a message ("its scene list"), or
// "" when they are parts of one render.
std::string renderDifference(const PartRecord& a, const PartRecord& b);

// A 64-bit FNV-1a fingerprint, folded in piece by piece, as 16 hex digits.
struct Fingerprint {
    uint64_t state = 14695981039346656037ull;
    void add(const std::string& bytes);
    std::string hex() const;
};

// The record's name beside an output: NAME.partinfo, for a PNG part beside its first frame.
std::string partRecordPathFor(const std::string& output);
inline constexpr char partRecordSuffix[] = ".partinfo";
