// The on-screen keyboard's operations on the typed text.
#pragma once

#include <string>

namespace qv {

struct Program;

void TypeKey(Program& p, const std::string& character);
void DeleteLastChar(Program& p);
void ToggleShift(Program& p);
void ToggleCaps(Program& p);
void DiscardText(Program& p);
void ConfirmText(Program& p);

}  // namespace qv
