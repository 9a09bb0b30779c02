// Drive and path utilities shared by the functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Drives.h"
#include "core/Reactions.h"
#include "platform/Status.h"

namespace qv {

struct Program;

// Starts a program (Windows command-line form) and yields until it has ended. No time-out.
// False when it could not be started. `exitCode`, when given, receives how it ended (-1 when
// that is not known).
bool RunAndWait(Program& p, const std::string& commandLine, int* exitCode = nullptr);

// True when the volume of a drive designator ("c:") can be read.
bool IsVolumeReady(Program& p, const std::string& drive);

// Moves a file or folder into the recycle bin, silently. A final "\" is removed from `path`.
// Fails, saying why, when it stayed.
Status DeleteToRecycleBin(Program& p, std::string& path);

// Empties every recycle bin of every drive, without asking.
void EmptyRecycleBin(Program& p);

// A folder path with its final "\" ("" stays "").
std::string FolderPath(const std::string& path);

// False only when the last component is missing from an existing folder.
bool PathExists(Program& p, const std::string& path);

// What a copy asks of a scan beyond the lists: only entries it can copy as files, every other
// one and every folder that cannot be read told apart, and a folder left out.
struct CopyScan {
  // The folder left out (the destination inside the source) as the file system takes it: its
  // HostPath with the final separator. Folders are compared by where they lead, not by spelling.
  std::string leaveOut;
  std::vector<std::string> notFiles;    // "path (what it is)": links to folders, FIFOs, ...
  std::vector<std::string> unreadable;  // folders whose entries could not be listed
};

// Breadth-first listing of a folder tree into the caller's lists (files: full paths; folders:
// full paths with a final "\"). Subfolders are entered only when `recurse` is exactly 1. With
// `append`, the new entries follow what the lists held. Returns true when CancelRequested
// stopped the scan; the flag is clear afterwards.
bool ScanFolderTree(Program& p, const std::string& path, std::vector<std::string>& files,
                    std::vector<std::string>& folders, int32_t recurse, bool includeHidden,
                    bool append, CopyScan* copy = nullptr);

// Lists one folder into the slots of the scan lists and queues its subfolders (no final "\").
void ScanFolder(Program& p, const std::string& folder, std::vector<std::string>& files,
                std::vector<std::string>& folders, int32_t& count, int32_t& folderSlot,
                int32_t& fileSlot, std::vector<std::string>& pending, bool includeHidden,
                CopyScan* copy = nullptr);

}  // namespace qv
