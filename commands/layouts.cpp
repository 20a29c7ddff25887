#include "commands/layouts.h"

#include "commands/commands.h"

namespace packscope {

const Layout* FindLayout(std::string_view name) {
  for (const Layout& l : kLayouts) {
    if (l.name == name) return &l;
  }
  return nullptr;
}

std::string DialogFilter(const Layout& layout) {
  return std::string(layout.export_name) + " (*" + std::string(layout.export_extension) + ")";
}

const Layout* LayoutForFileName(std::string_view path, std::string* error) {
  const auto ends_with = [path](std::string_view suffix) {
    if (suffix.empty() || path.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
      char c = path[path.size() - suffix.size() + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != suffix[i]) return false;
    }
    return true;
  };
  const Layout* best = nullptr;
  std::string known;
  for (const Layout& l : kLayouts) {
    if (known.find(std::string(l.export_extension) + ",") == std::string::npos) {
      known.append(l.export_extension).append(", ");
    }
    if (!ends_with(l.export_extension)) continue;
    if (best == nullptr || l.export_extension.size() > best->export_extension.size() ||
        (l.export_extension == best->export_extension && l.kind == LayoutKind::kFrameWriter &&
         best->kind != LayoutKind::kFrameWriter)) {
      best = &l;
    }
  }
  if (best == nullptr && error != nullptr) {
    known.resize(known.size() - 2);
    *error = "The file name does not say what to write: end it with one of " + known +
             ", or choose the layout in the dialog.";
  }
  return best;
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
