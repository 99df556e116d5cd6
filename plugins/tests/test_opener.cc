// A link opener for the plug-in tests: writes how many arguments it was given and the first
// one, as "count|first", to the file named by TEST_OPENER_RECORD. Exits with status 1 when
// that variable is not set or the file cannot be written.
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv) {
  const char* record = std::getenv("TEST_OPENER_RECORD");
  if (record == nullptr || *record == '\0') return 1;
  std::ofstream out(record, std::ios::binary);
  out << (argc - 1) << '|' << (argc > 1 ? argv[1] : "");
  out.close();
  return out ? 0 : 1;
}
