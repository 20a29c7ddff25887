// packscope-layout-list: the registry's layout names as the manual page lists them (roff), for
// the build's manual page step (cmake/man_page.cmake); with --fields, the filter language's
// fields from its registry, one .TP entry each. Not installed.
#include <cstdio>
#include <string>
#include <string_view>

#include "commands/layouts.h"
#include "filter/fields.h"

namespace {

// Dashes as roff wants them in names and texts.
std::string Roff(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c == '-' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

void PrintLayouts() {
  using packscope::kLayouts;
  for (std::size_t i = 0; i < kLayouts.size(); ++i) {
    const std::string name = Roff(kLayouts[i].name);
    if (i + 2 < kLayouts.size()) {
      std::printf(".BR %s ,\n", name.c_str());
    } else if (i + 2 == kLayouts.size()) {
      std::printf(".B %s\nand\n", name.c_str());
    } else {
      std::printf(".BR %s ;\n", name.c_str());
    }
  }
}

void PrintFields() {
  for (const packscope::Field& f : packscope::Fields()) {
    std::printf(".TP\n.BR %s \" (%s)\"\n%s.\n", Roff(f.name).c_str(),
                Roff(packscope::FieldTypeNoun(f.type).substr(2)).c_str(), Roff(f.help).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--fields") {
    PrintFields();
  } else {
    PrintLayouts();
  }
  return 0;
}
