// Buttons: enabling and disabling by key, the pressed look, and the keyboard's lookup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Elements.h"

namespace qv {

struct Program;

void EnableButtons(Program& p, const std::string& group, const std::string& name,
                   bool noRedraw = false);
void DisableButtons(Program& p, const std::string& group, const std::string& name,
                    bool noRedraw = false);
void FindButtons(Program& p, const std::string& group, const std::string& name,
                 std::vector<int16_t>& indices);

// The keys of the buttons that start disabled on every load of their screen.
bool StartsDisabled(const CommandPair& key);

// Index of the first button that contains the point, or -1.
int HitButton(const Program& p, double x, double y);

// Pointer handling of buttons (window pixels).
void ButtonPointerDown(Program& p, double x, double y);
// Returns the index of the button to dispatch, or -1.
int ButtonPointerUp(Program& p, double x, double y);

}  // namespace qv
