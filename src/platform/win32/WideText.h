// The one passage between the seam's UTF-8 and the UTF-16 of the Windows W functions, and the
// system's words for an error code.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/WinApi.h"

namespace qv {

// False for text that is not well-formed UTF-8: it would reach Windows as another name.
bool ToWide(std::string_view utf8, std::wstring* wide);
// An unpaired surrogate (possible in NTFS names) becomes U+FFFD.
std::string ToUtf8(std::wstring_view wide);
// "Access is denied. (error 5)"; the number alone where the system has no text.
std::string SystemMessage(DWORD code);

}  // namespace qv
