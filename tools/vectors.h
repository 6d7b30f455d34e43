// The conformance vector file: every scheme's answers over fixed inputs.
#pragma once

#include <cstdint>
#include <string>

#include "tool_io.h"

namespace norvek_tool {

// The whole file, byte for byte the same at every run: inputs come from
// fixed seeds, keys keep a fixed order and each case is one line.
Bytes conformance_vectors();

// The batch mode's answer to one request line (a case of the file without
// its answer fields): the case with the library's answers, as the file
// records it, or {"line":NUMBER,"error":TEXT} for a malformed request.
std::string answer_line(const std::string& line, uint64_t number);

}  // namespace norvek_tool
