// Long loops cut into calls of their own. A WebAssembly engine puts a function's optimised code
// in place only between its calls: a loop over a whole model in one call runs unoptimised to
// its end (there, drawing and reading a large mesh took half as long again). Natively a call
// per thousands of turns costs nothing.
#pragma once

#include <cstddef>

namespace model_unpack {

// Calls `use(i)` for each `i` from `first` to before `end`, in a call of its own.
template <typename Index, typename Use>
[[gnu::noinline]] void each_in_one_call(Index first, Index end, Use& use) {
  for (Index i = first; i < end; ++i) use(i);
}

// Calls `use(i)` for each `i` from `first` to before `end`, a call for each `per_call` of them.
template <typename Index, typename Use>
void each_in_calls(Index first, Index end, Index per_call, Use&& use) {
  for (Index from = first; from < end;) {
    const Index to = end - from > per_call ? from + per_call : end;
    each_in_one_call(from, to, use);
    from = to;
  }
}

}  // namespace model_unpack
