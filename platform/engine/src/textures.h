// The external textures that native code registers with an engine: ids from 1 upward, the
// source each id fetches its frames from, and which ids have a frame waiting to be fetched.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_TEXTURES_H_
#define TERVALA_PLATFORM_ENGINE_SRC_TEXTURES_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/engine/include/vela_windows.h"
#include "platform/engine/src/view.h"

namespace vela_engine {

// The texture table of one engine. Sources are called on the engine thread only, never
// concurrently with the removal of their texture (removal happens there too while the engine
// runs).
class TextureTable {
 public:
  // Registers a copy of `info`; -1 for a null record, an unknown type or a null callback.
  int64_t Register(const VelaDesktopTextureInfo* info);

  // Notes that `id` has a new frame. `registered` tells whether the id is known;
  // `fetch_needed` whether a fetch must be scheduled (none is waiting yet).
  struct MarkResult {
    bool registered;
    bool fetch_needed;
  };
  MarkResult Mark(int64_t id);

  // Fetches the waiting frame of `id` through its source for a view of the given size. Pixel
  // buffers are copied (and released); GPU surfaces cannot be read here and are released at
  // once (null result).
  std::shared_ptr<const Frame> Fetch(int64_t id, uint32_t width, uint32_t height);

  void Remove(int64_t id);

 private:
  struct Texture {
    VelaDesktopTextureInfo info;
    bool fetch_pending = false;
  };
  std::mutex mutex_;
  std::map<int64_t, Texture> textures_;
  int64_t next_id_ = 1;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_TEXTURES_H_
