// For tests written against out-parameters: a result's value stored where the test looks at it.
#pragma once

#include <utility>

#include "platform/Status.h"

namespace qv {

// True when there was a value; `into` is emptied when there was none.
template <typename T>
bool Take(Result<T> result, T* into) {
  *into = result.ok() ? std::move(result).value() : T{};
  return result.ok();
}

}  // namespace qv
