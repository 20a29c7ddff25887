// packscope-layout-list: the registry's layout names as the manual page lists them (roff), for
// the build's manual page step (cmake/man_page.cmake). Not installed.
#include <cstdio>
#include <string>
#include <string_view>

#include "commands/layouts.h"

namespace {

// Dashes as roff wants them in names.
std::string Roff(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c == '-') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

int main() {
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
  return 0;
}
