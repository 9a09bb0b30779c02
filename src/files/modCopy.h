// The directory copy engine: mirrors folders and copies the files not yet present.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct Program;

// Copies every entry of CopyList (files, and folders with everything below them) to
// destinationRoot + the entry's path after the first sourceRoot.size() characters. Present
// files are never overwritten. Reports under ReportGroup. With RootIsFirst the first folder is
// the source root itself: neither counted nor created.
void CopyItems(Program& p, const std::string& sourceRoot, const std::string& destinationRoot,
               bool RootIsFirst);

// Progress of one file's copy: the per-file bar and a yield. False asks the copy to stop.
bool CopyProgress(Program& p, uint64_t totalSize, uint64_t transferred);

}  // namespace qv
