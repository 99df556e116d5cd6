#ifndef TERVALA_TOOLS_CODEC_CODEC_TOOL_H_
#define TERVALA_TOOLS_CODEC_CODEC_TOOL_H_

// The tervala-codec command: decodes a channel message to typed JSON, or encodes typed
// JSON to a message, with the standard codec or the plug-in codec.

#include <iosfwd>
#include <string>
#include <vector>

namespace tervala::codec_tool {

// Runs the command with its arguments (without the program name), reading standard
// input from `in` and writing to `out` and `err`. Returns the exit status: 0 on success,
// 1 for a message that does not decode or input that is not valid typed JSON (with one
// line on `err`), 2 for a usage error.
int RunCodecTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err);

}  // namespace tervala::codec_tool

#endif  // TERVALA_TOOLS_CODEC_CODEC_TOOL_H_
