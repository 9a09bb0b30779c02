#include "probe/Delivery.h"

#include <utility>

namespace probe {

Delivery::Delivery(std::vector<ScriptLine> lines, std::function<void(const ScriptLine&)> carryOut,
                   std::function<void()> settle)
    : lines_(std::move(lines)), carryOut_(std::move(carryOut)), settle_(std::move(settle)) {}

void Delivery::Take() {
  last_ = &lines_[next_++];
  // Yields that happen while this line is carried out already count for the next one.
  yields_ = 0;
  carryOut_(*last_);
}

void Delivery::OnYield(bool waitingForInput) {
  ++yields_;
  const bool tildeNext = next_ < lines_.size() && lines_[next_].yieldIndex > 0;
  if (tildeNext && yields_ >= lines_[next_].yieldIndex) {
    Take();
  } else if (!tildeNext && waitingForInput) {
    throw StalledScript{};
  }
}

void Delivery::RunTopLevel() {
  while (next_ < lines_.size()) {
    Take();
    settle_();
  }
}

}  // namespace probe
