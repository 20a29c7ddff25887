// packscope-man-text: the parts of the manual pages that come from the program's own tables, as
// roff, for the build's manual page step (cmake/man_page.cmake). Not installed.
//   packscope-man-text --options PROGRAM   the OPTIONS entries of PROGRAM, from its option table
//   packscope-man-text --fields            the filter language's fields, one .TP entry each
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/program_options.h"
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

void PrintFields() {
  for (const packscope::Field& f : packscope::Fields()) {
    std::printf(".TP\n.BR %s \" (%s)\"\n%s.\n", Roff(f.name).c_str(),
                Roff(packscope::FieldTypeNoun(f.type).substr(2)).c_str(), Roff(f.help).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "--fields" && argc == 2) {
    PrintFields();
    return 0;
  }
  if (mode == "--options" && argc == 3) {
    if (const packscope::CommandProgram* program = packscope::FindProgram(argv[2])) {
      std::fputs(packscope::ManualOptions(*program).c_str(), stdout);
      return 0;
    }
  }
  std::fputs("Usage: packscope-man-text --options PROGRAM | --fields\n", stderr);
  return 2;
}
