// Turns the input messages a view window receives (with their Windows encodings) into the
// pointer and keyboard events the bundle is given.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_VIEW_INPUT_H_
#define TERVALA_PLATFORM_ENGINE_SRC_VIEW_INPUT_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/engine/include/vela_bundle.h"

namespace vela_engine {

// One event for the bundle: a pointer event, or a keyboard event with its text.
struct InputEvent {
  bool is_pointer = false;
  VelaBundlePointerEvent pointer{};
  VelaBundleKeyEvent key{};  // `key.text` is set from `text` when the event is delivered.
  std::string text;
};

// The translation for one view; it remembers the first half of a character typed as a
// UTF-16 surrogate pair. UI thread.
class ViewInput {
 public:
  // True when `message` is an input message; the events it gives the bundle (none for the
  // first half of a surrogate pair, two when it follows a lone first half) are appended to
  // `events`.
  bool Translate(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                 std::vector<InputEvent>* events);

 private:
  // The characters one WM_CHAR unit completes: none while waiting for a surrogate pair's
  // second half; U+FFFD stands for half a pair that lost its partner.
  std::vector<uint32_t> TakeCharacters(WPARAM unit);

  uint32_t high_surrogate_ = 0;  // 0: none pending.
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_VIEW_INPUT_H_
