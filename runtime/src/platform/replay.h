// The session source: where the values from outside the program come from. Live by default;
// with TAVELOR_RECORD=FILE the live values are also written to FILE, with TAVELOR_REPLAY=FILE
// they are read back from it instead (see docs/commands.md, "Recording and replaying").
//
// Everything the runtime reads from the devices and the clock goes through platform.h's
// readers, which ask this source; the frame pump tells it where frames end.
#pragma once

#include <cstdint>

namespace TAVELOR::platform::replay {

enum class Mode { kLive, kRecording, kReplaying };

// Live until Begin.
Mode CurrentMode();

// Exit codes: a recording that cannot be written or read, and a replay that went its own way.
constexpr int kExitBadFile = 2;
constexpr int kExitDiverged = 3;

// Start-up, once the window and its OpenGL context exist: reads the environment and opens the
// recording. A recording that cannot be written, or a replay file that is damaged, truncated or
// foreign, ends the program with a message and kExitBadFile.
void Begin(int width, int height, const char* renderer);

// Records from now on into path as TAVELOR_RECORD does from start-up, and ends such a
// recording (its end written, the file closed). For benchmarks that compare both in one run.
void RecordTo(const char* path, int width, int height, const char* renderer);
void StopRecording();

// SHOWSCREEN begins: in a scripted recording the frame pump's stamp (and what follows) reads
// the next frame's clock, as a live frame pump reads the time its frame took.
void FrameEnding();

// Whether the frame now ending gets a checksum of its picture (recording: every N frames;
// replay: where the recording holds one and the renderer is the recorded one).
bool FrameChecksumWanted();
// The frame is complete and about to be shown. In a replay a checksum that differs from the
// recorded one ends the program ("replay diverged at frame N", kExitDiverged).
void FrameShown(std::uint64_t checksum);
// The program ends: the recording gets its last record and is closed; a replay compares the
// last picture when the recording ended at the same point.
bool EndChecksumWanted();
void ProgramEnds(std::uint64_t checksum);

// A network command: a replay cannot go on past it (the traffic is not recorded) and stops
// with a message and kExitDiverged; a recording notes once that it will.
void NetworkCommand(const char* command);

// The live clock in milliseconds for the frame cap's wait, never recorded.
double PacingMilliseconds();
// True in a replay: frames follow each other without the frame cap's wait.
bool PacingSkipped();

}  // namespace TAVELOR::platform::replay
