// The element keys and command pairs that the program's functions address: what a skin may
// use. The lint tool checks every layout against these tables.
#pragma once

#include <string>

namespace probe {

// True when some function of the program addresses an element of this layout type ("textbox",
// "statusbar", ...) under the key (group, name). Buttons: see the two functions below.
bool IsAddressedKey(const std::string& type, const std::string& group, const std::string& name);

// True when (word, argument) is a command that the dispatcher runs.
bool IsCommand(const std::string& word, const std::string& argument);

// True when a button's first pair, though no command, is an identity that functions address.
bool IsButtonIdentity(const std::string& group, const std::string& name);

}  // namespace probe
