// How much a job on a model file would write, found by following the job's own reads over
// the file's bytes. The fuzz harness uses it to pass over inputs that would write gigabytes:
// a 40-byte file can declare four billion elements, and the tool, rightly, writes them all.
#pragma once

#include <cstdint>
#include <string_view>

namespace model_unpack::fuzz {

// The job's output in bytes (an upper bound), counted until it passes `limit`.
std::uint64_t estimate_output(std::string_view file, std::uint64_t limit);

}  // namespace model_unpack::fuzz
