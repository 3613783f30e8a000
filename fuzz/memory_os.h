// What every fuzz target shares: a system interface that serves one file from
// memory under every path and keeps saves in memory, a fresh news database
// for each input, and FUZZ_CHECK for what a reader promises. Nothing touches the disk and the clock stands
// still, so an input replays the same way every time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fuzz {

constexpr int32_t kNow = 1800000000;
constexpr char kPath[] = "C:\\Fuzz\\Data\\input.dat";

// Installs the in-memory system interface; once per process.
void UseMemoryOs();

// The bytes every OpenRead and profile call sees from now on; they must stay
// alive while the reader runs.
void Serve(const uint8_t* data, size_t size);

// The file as the last save left it (it is also served from then on).
const std::string& SavedFile();

// Files opened and not yet closed.
int OpenFiles();

// An empty topic array, a cleared shared record and the purge and the quote
// reader at their start, as after a restart.
void ResetNews();

// The input as a NUL-terminated text in a block of exactly its size, so that
// reading one byte past the terminator is caught.
std::unique_ptr<char[]> Text(const uint8_t* data, size_t size);

// Reports the failed condition and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* condition, const char* file, int line);

}  // namespace fuzz

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : fuzz::Fail(#condition, __FILE__, __LINE__))
