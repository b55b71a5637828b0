// What the media benchmarks share: timing, running the ffmpeg command, making long sources, opening
// media in a player and measuring the peak memory of work done in a child process.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace qv {
class ManualDispatcher;
class Player;
}  // namespace qv

namespace qv::bench {

double secondsSince(std::chrono::steady_clock::time_point start);
// Runs a shell command; exits the benchmark when it fails.
void run(const std::string& command);
// A stereo 48 kHz 16-bit WAV of speech-like material: a tone under pink noise, other on each side.
void makeSource(const std::filesystem::path& path, int minutes);
// Gives `player` the media at `path` and waits until it can play; exits the benchmark when it
// cannot.
void openInPlayer(ManualDispatcher& main, Player& player, const std::filesystem::path& path);
// Runs `work` in a child process and returns the child's peak resident size in MB; exits the
// benchmark when the child fails.
double peakMemoryOfChild(const std::function<void()>& work);

}  // namespace qv::bench
