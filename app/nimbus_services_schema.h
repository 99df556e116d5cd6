#ifndef TERVALA_APP_NIMBUS_SERVICES_SCHEMA_H_
#define TERVALA_APP_NIMBUS_SERVICES_SCHEMA_H_

namespace nimbus {

// The FlatBuffers schema of the JSON configuration file, compiled at run time before every
// parse of a configuration file.
extern const char kNimbusServicesSchema[];

// The name under which the schema text is parsed; it appears in schema error messages.
inline constexpr char kNimbusServicesSchemaName[] = "nimbus_services.fbs";

}  // namespace nimbus

#endif  // TERVALA_APP_NIMBUS_SERVICES_SCHEMA_H_
