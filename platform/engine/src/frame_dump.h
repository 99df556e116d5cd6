// Writes each frame a view shows to the file named by VELA_FRAME_DUMP, as a binary PPM
// (RGB), so that checks outside the process can compare the screen with what the
// application drew. Off unless the variable is set.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_FRAME_DUMP_H_
#define TERVALA_PLATFORM_ENGINE_SRC_FRAME_DUMP_H_

#include "platform/engine/src/view.h"

namespace vela_engine {

// Replaces the dump file with `frame` when dumping is on. The file is written beside its
// final name and renamed, so a reader never sees half a frame.
void DumpFrame(const Frame& frame);

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_FRAME_DUMP_H_
