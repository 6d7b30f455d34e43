// The conformance vector file: every scheme's answers over fixed inputs.
#pragma once

#include "tool_io.h"

namespace norvek_tool {

// The whole file, byte for byte the same at every run: inputs come from
// fixed seeds, keys keep a fixed order and each case is one line.
Bytes conformance_vectors();

}  // namespace norvek_tool
