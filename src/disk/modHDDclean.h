// The junk-file cleaner: finds the left-overs of a fixed drive and moves them to the recycle bin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/JunkScan.h"

namespace qv {

struct Program;

// Handlers of ("cleanhdd", "start") and ("cleanhdd", "cancel").
void StartCleaning(Program& p);
void CancelCleaning(Program& p);

// Searches the chosen drive and trashes what it found (the body of a start).
void RunCleaning(Program& p);
// The two halves of a run: the search of a drive ("c:") and the deletion of what it found.
void SearchJunk(Program& p, const std::string& drive);
// Gives "" when everything listed went, or a status text naming the last entry that stayed.
std::string DeleteJunk(Program& p);

// Searches one folder and, unless cancelled, its subfolders in the order found.
void FindJunk(Program& p, std::string folder, std::vector<std::string>& junk);
// Appends one entry and shows the totals.
void AddJunk(Program& p, std::vector<std::string>& junk, const std::string& path,
             const JunkIdentity& id, uint64_t bytes);

// The special folders by number: 33 the cookies, 34 the user's temporary folder (found by the
// history folder), 36 the system's temporary folder (found by the system folder).
constexpr int32_t kCsidlCookies = 33;
constexpr int32_t kCsidlHistory = 34;
constexpr int32_t kWindowsTemp = 36;
// The folder with its final "\", or "" where this system has none.
std::string GetSpecialFolderPath(Program& p, int32_t csidl);

// The wildcard test of names and folder paths: "*" any run, "?" one character, "#" one digit,
// "[list]" one of the list ("a-z" ranges), "[!list]" one not in it.
bool MatchesWildcard(const std::string& text, const std::string& pattern);

// The junk size form: megabytes to two decimals, no trailing zeros, " MB".
std::string JunkSizeText(double megabytes);

}  // namespace qv
