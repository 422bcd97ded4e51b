#pragma once

#include <array>
#include <cstdint>

#include "model/model_format.h"
#include "model/model_stream.h"

namespace model_unpack {

// The values every unit of block data passes through. They start at zero, carry over from the
// export phase into the info file phase, and a short read leaves their old bytes in place.
struct JobScratch {
  std::array<unsigned char, 4> four{};
  std::array<unsigned char, 2> two{};
  std::array<unsigned char, kTransferSize> transfer{};
  std::uint32_t extra_length = 0;
};

// A null `out` is an output that did not open: reads still happen, nothing is written.
inline void write_bytes(OutputFile* out, const void* data, std::size_t size) {
  if (out != nullptr) out->write(data, size);
}

// Carries `length` bytes of bone extra data through the 64-byte transfer buffer: one read of
// the whole when it fits, else pieces of 64 and the rest, so nothing is lost or overrun.
inline void copy_extra_data(ModelFile& model, OutputFile* out, JobScratch& scratch,
                            std::uint32_t length) {
  while (length > 0) {
    const std::size_t piece = length < kTransferSize ? length : kTransferSize;
    model.read(scratch.transfer.data(), piece);
    write_bytes(out, scratch.transfer.data(), piece);
    length -= static_cast<std::uint32_t>(piece);
  }
}

}  // namespace model_unpack
