// The host table handed to a bundle's entry point: C functions that forward to the engine.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_HOST_H_
#define TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_HOST_H_

#include "platform/engine/include/vela_bundle.h"

namespace vela_engine {

class Engine;

// The table and the engine it belongs to; the table comes first, so that a function given
// the table finds its engine.
struct BundleHost {
  VelaBundleHost table;
  Engine* engine;
};

// Fills `host` with the engine's functions.
void InitBundleHost(BundleHost* host, Engine* engine);

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_HOST_H_
