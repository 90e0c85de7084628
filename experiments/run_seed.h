#pragma once

#include <cstdint>

// A seed that differs between runs, even between runs started within the same second.
std::uint64_t seedFromClock();
