#ifndef TERVALA_NIMBUS_CORE_PLUGIN_OPTIONS_CONVERSION_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_OPTIONS_CONVERSION_H_

// Conversions between the options record of the channels and the app core's options.

#include "app/app_options.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace nimbus_core_windows {

// The app core options of a request: the four required fields, and the database URL,
// storage bucket and tracking ID when present. Each text ends at its first zero byte, as
// the app core's text fields do.
nimbus::AppOptions ToAppOptions(const CoreNimbusOptions& options);

// The options of an app as the engine-side application sees them: the four required
// fields, and the database URL and storage bucket when not empty. The tracking ID and the
// extra options are never sent back.
CoreNimbusOptions ToCoreNimbusOptions(const nimbus::AppOptions& options);

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_OPTIONS_CONVERSION_H_
