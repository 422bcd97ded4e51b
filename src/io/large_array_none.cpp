#include "io/large_array.h"

namespace model_unpack {

// No huge-page advice on this platform: the system's pages serve.
void advise_huge_pages(void*, std::size_t) {}

}  // namespace model_unpack
