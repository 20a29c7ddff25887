#include "commands/layouts.h"

#include "commands/commands.h"

namespace packscope {

const Layout* FindLayout(std::string_view name) {
  for (const Layout& l : kLayouts) {
    if (l.name == name) return &l;
  }
  return nullptr;
}

bool RunLayout(DecoderState& state, Window& window, const Layout& layout,
               const std::optional<std::string>& output_path) {
  switch (layout.kind) {
    case LayoutKind::kScreen:
      return WriteScreenPass(state, window, output_path);
    case LayoutKind::kWindowFile:
      return RunWriteCommand(state, window, layout.mode, layout.extension, layout.with_header,
                             output_path);
    case LayoutKind::kFrameWriter:
      return RunFrameWriterCommand(state, window, layout.extension, layout.make_writer,
                                   output_path);
  }
  return false;
}

}  // namespace packscope
