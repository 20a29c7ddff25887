// The option tables of the command-line programs, all in one place: packscope-convert,
// packscope-record and packscope-replay, each a CommandProgram (cli/option_table.h) whose rows
// make its parsing, its --help and its manual page's OPTIONS section. The layouts and the filter
// fields named in the converter's texts come from their registries.
#ifndef PACKSCOPE_CLI_PROGRAM_OPTIONS_H_
#define PACKSCOPE_CLI_PROGRAM_OPTIONS_H_

#include <string_view>
#include <vector>

#include "cli/option_table.h"

namespace packscope {

const CommandProgram& ConvertProgram();
const CommandProgram& RecordProgram();
const CommandProgram& ReplayProgram();

// The program called name; null for none.
const CommandProgram* FindProgram(std::string_view name);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_PROGRAM_OPTIONS_H_
