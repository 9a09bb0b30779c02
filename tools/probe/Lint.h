// quorvin-probe lint: checks every layout file of a skin.
#pragma once

#include <ostream>
#include <string>

namespace probe {

// Prints one line per problem to `out`, "FILE [SECTION] KEY: problem" (notes start with
// "note:"). Returns 0 when there was no problem but notes, 1 when there was one, 2 when the
// folder has no skin folder (message on `err`).
int LintSkin(const std::string& appDir, std::ostream& out, std::ostream& err);

}  // namespace probe
