#include "report/number_lines.h"

#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "io/threads.h"
#include "model/element_walk.h"
#include "report/float_format.h"
#include "report/number_format.h"

namespace model_unpack {

namespace {

// Elements per chunk, and chunks formatted ahead of the one being written: about 3 MiB of
// buffers in all.
constexpr std::uint32_t kChunkElements = 8192;
constexpr std::uint32_t kSlots = 4;

// The chunks of one block, claimed in order by whichever thread is free and written in order
// by the calling thread. A chunk is formatted only while fewer than kSlots chunks wait to be
// written, so memory stays bounded however large the block.
class ChunkedLines {
 public:
  ChunkedLines(const Rendering& rendering, std::uint32_t element_size, std::uint64_t offset,
               std::uint32_t count, const ModelFile& model, ChunkBuffers& buffers)
      : rendering_(rendering),
        value_size_(rendering.value == Value::U16 ? 2 : 4),
        element_size_(element_size),
        offset_(offset),
        count_(count),
        chunks_((count + kChunkElements - 1) / kChunkElements),
        model_(model) {
    for (std::uint32_t k = 0; k < kSlots; ++k) {
      slots_[k].input = buffers.input(k);
      slots_[k].text = buffers.text(k);
    }
  }

  // The second thread's part: formats chunks until there are none left or the writer stops.
  void help() {
    while (format_next(false)) {
    }
  }

  // The calling thread's part: writes the chunks in order, formatting one itself whenever the
  // next to be written is not ready. Stops before a chunk the file no longer holds whole (it
  // was cut short since it was opened): the element walk goes on from there. Returns the
  // elements written, and the last value of the last one in `last`.
  std::uint32_t write_all(OutputFile& out, unsigned char last[4]) {
    for (;;) {
      UniqueLock<Mutex> lock(mutex_);
      if (written_ == chunks_) return count_;
      Slot& slot = slots_[written_ % kSlots];
      if (slot.ready && slot.chunk == written_) {
        if (slot.cut_short) return written_ * kChunkElements;
        lock.unlock();
        out.write(slot.text, slot.length);
        const std::size_t elements = std::min(kChunkElements, count_ - written_ * kChunkElements);
        std::memcpy(last, slot.input + elements * element_size_ - value_size_, value_size_);
        lock.lock();
        slot.ready = false;
        ++written_;
        // Once the file cannot be written, the rest would only be lost.
        if (out.failed()) stopped_ = true;
        changed_.notify_all();
        if (stopped_) return count_;
        continue;
      }
      lock.unlock();
      if (!format_next(true)) {
        lock.lock();
        changed_.wait(lock, [&] { return slot.ready && slot.chunk == written_; });
      }
    }
  }

  void stop() {
    const UniqueLock<Mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  struct Slot {
    unsigned char* input = nullptr;
    char* text = nullptr;
    std::size_t length = 0;
    std::uint32_t chunk = 0;
    bool ready = false;
    bool cut_short = false;  // the file held less than the chunk when it was read
  };

  // Claims the next chunk and formats it; false when there is none to claim (the writer asks
  // without waiting, the helper waits for a free slot).
  bool format_next(bool writer) {
    std::uint32_t chunk = 0;
    {
      UniqueLock<Mutex> lock(mutex_);
      const auto claimable = [&] {
        return stopped_ || claimed_ == chunks_ || claimed_ - written_ < kSlots;
      };
      if (writer) {
        if (!claimable()) return false;
      } else {
        changed_.wait(lock, claimable);
      }
      if (stopped_ || claimed_ == chunks_) return false;
      chunk = claimed_++;
    }
    Slot& slot = slots_[chunk % kSlots];
    const std::uint32_t first = chunk * kChunkElements;
    const std::uint32_t elements = std::min(kChunkElements, count_ - first);
    const std::size_t bytes = std::size_t{elements} * element_size_;
    const std::size_t got =
        model_.read_at(offset_ + std::uint64_t{first} * element_size_, slot.input, bytes);
    const bool cut_short = got < bytes;
    char* end = slot.text;
    if (!cut_short)
      end = format_number_lines(rendering_, first, elements, slot.input, element_size_, end);
    const UniqueLock<Mutex> lock(mutex_);
    slot.cut_short = cut_short;
    slot.length = static_cast<std::size_t>(end - slot.text);
    slot.chunk = chunk;
    slot.ready = true;
    changed_.notify_all();
    return true;
  }

  const Rendering& rendering_;
  const std::size_t value_size_;
  const std::uint32_t element_size_;
  const std::uint64_t offset_;
  const std::uint32_t count_;
  const std::uint32_t chunks_;
  const ModelFile& model_;
  Mutex mutex_;
  ConditionVariable changed_;
  Slot slots_[kSlots];
  std::uint32_t claimed_ = 0;
  std::uint32_t written_ = 0;
  bool stopped_ = false;
};

// Stops the lines' chunks when it goes out of scope.
struct StopWhenDone {
  ChunkedLines& lines;
  ~StopWhenDone() { lines.stop(); }
};

// The lines of `count` elements of one shape, `kValues` numbers each (0: as many as the
// rendering says): the shape's choices made once for the whole run of lines rather than once
// a number.
template <bool kFloats, int kValues>
char* lines_of_shape(const Rendering& rendering, std::uint32_t first, std::uint32_t count,
                     const unsigned char* elements, std::uint32_t element_size, char* out) {
  const std::string_view separator = rendering.index == IndexField::ColonBlank ? ": " : ":";
  const auto blanks = static_cast<std::size_t>(rendering.blanks_after_value);
  const int values = kValues == 0 ? rendering.values : kValues;
  for (std::uint32_t i = 0; i < count; ++i) {
    const unsigned char* element = elements + std::size_t{i} * element_size;
    if (rendering.index != IndexField::None) {
      out = format_right5(first + i, out);
      std::memcpy(out, separator.data(), separator.size());
      out += separator.size();
    }
    for (int v = 0; v < values; ++v) {
      out = kFloats ? format_exponent(load_u32(element + 4 * v), out)
                    : format_right5(load_u16(element + 2 * v), out);
      std::memcpy(out, "  ", 2);
      out += blanks;
    }
    std::memcpy(out, "\r\n", 2);
    out += 2;
  }
  return out;
}

}  // namespace

char* format_number_line(const Rendering& rendering, std::uint32_t index,
                         const unsigned char* element, char* out) {
  return format_number_lines(rendering, index, 1, element, 0, out);
}

char* format_number_lines(const Rendering& rendering, std::uint32_t first, std::uint32_t count,
                          const unsigned char* elements, std::uint32_t element_size, char* out) {
  const bool floats = rendering.value == Value::F32;
  // The shapes of the kinds table's number blocks, then any other.
  if (rendering.values == 3 && floats)
    return lines_of_shape<true, 3>(rendering, first, count, elements, element_size, out);
  if (rendering.values == 3)
    return lines_of_shape<false, 3>(rendering, first, count, elements, element_size, out);
  if (rendering.values == 1 && !floats)
    return lines_of_shape<false, 1>(rendering, first, count, elements, element_size, out);
  if (rendering.values == 6 && !floats)
    return lines_of_shape<false, 6>(rendering, first, count, elements, element_size, out);
  return floats ? lines_of_shape<true, 0>(rendering, first, count, elements, element_size, out)
                : lines_of_shape<false, 0>(rendering, first, count, elements, element_size, out);
}

bool worth_chunking(std::uint32_t count) {
  return count >= 4 * kChunkElements;
}

namespace {

// Slot `slot` of `buffers`, of `size` elements, made on first use. Not cleared: a chunk's
// bytes are read and its lines formatted before either is used.
template <typename T>
T* kept_buffer(std::vector<std::unique_ptr<T[]>>& buffers, std::size_t slot, std::size_t size) {
  if (buffers.size() <= slot) buffers.resize(slot + 1);
  if (!buffers[slot]) buffers[slot].reset(new T[size]);
  return buffers[slot].get();
}

}  // namespace

unsigned char* ChunkBuffers::input(std::size_t slot) {
  return kept_buffer(input_, slot, kChunkElements * kLargestNumberElement);
}

char* ChunkBuffers::text(std::size_t slot) {
  return kept_buffer(text_, slot, kChunkElements * kLongestNumberLine);
}

std::uint32_t write_number_lines_in_chunks(const Rendering& rendering, std::uint32_t element_size,
                                           std::uint64_t offset, std::uint32_t count,
                                           const ModelFile& model, ChunkBuffers& buffers,
                                           OutputFile& out, unsigned char last[4]) {
  ChunkedLines lines(rendering, element_size, offset, count, model, buffers);
  WorkerThread helper;
  // Without a helper this thread formats every chunk itself.
  static_cast<void>(helper.start([&lines] { lines.help(); }));
  // Stopped before the helper is joined (also when a write runs out of memory), so that it
  // never waits for a slot forever.
  const StopWhenDone stop{lines};
  return lines.write_all(out, last);
}

}  // namespace model_unpack
