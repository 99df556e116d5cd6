#ifndef TERVALA_EMBEDDING_CLIENT_ERROR_LINE_H_
#define TERVALA_EMBEDDING_CLIENT_ERROR_LINE_H_

// How the embedding client reports misuse: one line on standard error.

#include <string_view>

namespace vela::internal {

// Writes `first` followed by `second` and a line end to standard error as one write, so
// that lines from several threads do not interleave.
void WriteErrorLine(std::string_view first, std::string_view second = {});

}  // namespace vela::internal

#endif  // TERVALA_EMBEDDING_CLIENT_ERROR_LINE_H_
