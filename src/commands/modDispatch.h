// The command dispatcher: runs a released button's command pairs.
#pragma once

#include <string>

namespace qv {

struct Program;

void DispatchCommand(Program& p, int buttonIndex);

// Runs one command pair; unknown words and arguments do nothing.
void RunCommand(Program& p, const std::string& word, const std::string& argument);

// The text a "keyboard" key name types, or false for names that are no typing key.
bool KeyboardKeyText(const std::string& name, std::string* text);

}  // namespace qv
