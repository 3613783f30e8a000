// Sizes of fixed text buffers that programs of several layers must agree on.
#pragma once

#include <cstdint>

// The URL reader's path buffer: the leading "/", 258 characters, the terminator.
constexpr uint32_t kUrlPathBuffer = 260;
