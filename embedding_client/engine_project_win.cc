#include "embedding_client/engine_project.h"

namespace vela {

EngineProject::EngineProject(const std::wstring& base_directory)
    : assets_path(base_directory + L"\\vela_assets"),
      icu_data_path(base_directory + L"\\icudtl.dat"),
      aot_library_path(base_directory + L"\\app.so") {}

}  // namespace vela
