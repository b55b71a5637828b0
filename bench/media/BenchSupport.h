// What the media benchmarks share: timing, running the ffmpeg command, making long sources and
// measuring the peak memory of work done in a child process.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace qv::bench {

double secondsSince(std::chrono::steady_clock::time_point start);
// Runs a shell command; exits the benchmark when it fails.
void run(const std::string& command);
// A stereo 48 kHz 16-bit WAV of speech-like material: a tone under pink noise, other on each side.
void makeSource(const std::filesystem::path& path, int minutes);
// Runs `work` in a child process and returns the child's peak resident size in MB; exits the
// benchmark when the child fails.
double peakMemoryOfChild(const std::function<void()>& work);

}  // namespace qv::bench
