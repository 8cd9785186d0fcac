// A part's record on disk: written just before the part's output takes its final name, read back
// to tell a complete part from one that stopped, was cut short or belongs to another render.
#pragma once

#include <optional>
#include <string>

#include "frames/frame_clock.h"
#include "render/options.h"
#include "render/parts.h"
#include "render/scene_check.h"

struct FrameOutput;

// The record of the part the options ask for: the whole range, this part's frames, the list's
// fingerprint, the format. bytes is filled in when the part is written.
PartRecord describePart(const RenderOptions& options, const CheckedSceneList& list,
                        const FrameRange& whole, const FrameRange& part);

// Where the record of a part whose output is `output` goes (for a PNG sequence, beside the file
// of its first frame).
std::string partRecordPath(const RenderOptions& options, const PartRecord& record);

// The record at the path, or nullopt with the reason ("" when there is no file at all).
std::optional<PartRecord> readPartRecord(const std::string& recordPath, std::string& reason);

// "" when the output the record stands beside holds all the bytes it says, every frame file of
// a PNG part whole; otherwise what is wrong with it.
std::string partOutputProblem(const std::string& recordPath, const PartRecord& record);

// A part's output file, beside its record; for a PNG part, the file of frame k.
std::string partOutputPath(const std::string& recordPath, const PartRecord& record, int64_t frame);

// --part: the chunk to draw, or true in `complete` when the same part of the same render is there
// already. Otherwise removes a record left by an earlier try, and has the output write a new one.
bool beginPart(const RenderOptions& options, const CheckedSceneList& list, const FrameRange& whole,
               FrameRange& range, FrameOutput& output, bool& complete, std::string& error);

// Writes the part's record once its output is whole and before it takes its final name, so that
// no output looks complete without one. True with nothing to do for a whole render.
bool writePartRecord(FrameOutput& output, std::string& error);
// Removes the record again when the output could not take its final name.
void abandonPartRecord(FrameOutput& output);
