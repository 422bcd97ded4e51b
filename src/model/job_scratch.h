#pragma once

#include <array>
#include <cstdint>

#include "model/model_format.h"

namespace model_unpack {

// The values every unit of block data passes through. They start at zero, carry over from the
// export phase into the info file phase, and a short read leaves their old bytes in place.
struct JobScratch {
  std::array<unsigned char, 4> four{};
  std::array<unsigned char, 2> two{};
  std::array<unsigned char, kTransferSize> transfer{};
  std::uint32_t extra_length = 0;
};

}  // namespace model_unpack
