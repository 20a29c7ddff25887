#include "aprs/aprs_telemetry.h"

#include "aprs/aprs_parse.h"

namespace packscope {
namespace {

using namespace aprs_parse;

// Reads up to channels comma-separated texts into out; returns how many the message gives.
int ReadList(std::string_view list, std::array<std::string, kAprsTelemetryChannels>& out) {
  list = TrimLineEnd(list);
  int count = 0;
  while (count < kAprsTelemetryChannels) {
    const std::string_view part = NextPart(list, ',');
    out[static_cast<std::size_t>(count)].assign(Trim(part));
    ++count;
    if (list.empty()) break;
  }
  for (int i = count; i < kAprsTelemetryChannels; ++i) out[static_cast<std::size_t>(i)].clear();
  return count;
}

}  // namespace

AprsTelemetryDefinition TelemetryDefinitionKind(std::string_view text) {
  const std::string_view head = Sub(text, 0, 5);
  if (head == "PARM.") return AprsTelemetryDefinition::kParm;
  if (head == "UNIT.") return AprsTelemetryDefinition::kUnit;
  if (head == "EQNS.") return AprsTelemetryDefinition::kEqns;
  if (head == "BITS.") return AprsTelemetryDefinition::kBits;
  return AprsTelemetryDefinition::kNone;
}

std::string_view AprsTelemetryStore::Apply(std::string_view station, std::string_view text,
                                           std::string& error) {
  error.clear();
  const AprsTelemetryDefinition kind = TelemetryDefinitionKind(text);
  if (kind == AprsTelemetryDefinition::kNone) return error;
  const std::string_view body = TrimLineEnd(Sub(text, 5));

  // Check first, so that a broken message leaves the earlier definitions as they were.
  std::array<std::array<double, 3>, kAprsAnalogChannels> eqns{};
  if (kind == AprsTelemetryDefinition::kEqns) {
    std::string_view rest = body;
    for (int i = 0; i < kAprsAnalogChannels * 3; ++i) {
      const std::string_view part = NextPart(rest, ',');
      // A channel's missing coefficients read as the identity: a = 0, b = 1, c = 0.
      double v = i % 3 == 1 ? 1.0 : 0.0;
      if (!Trim(part).empty()) {
        const std::optional<double> n = Number(part);
        if (!n) {
          error.assign("telemetry coefficient ");
          AppendInt(error, i + 1);
          error.append(" \"");
          AppendQuotedText(error, part);
          error.append("\" ");
          error.append(NotANumber(part));
          return error;
        }
        v = *n;
      }
      eqns[static_cast<std::size_t>(i / 3)][static_cast<std::size_t>(i % 3)] = v;
      if (rest.empty()) {
        // Channels not given at all keep the identity too.
        for (int j = i + 1; j < kAprsAnalogChannels * 3; ++j) {
          eqns[static_cast<std::size_t>(j / 3)][static_cast<std::size_t>(j % 3)] =
              j % 3 == 1 ? 1.0 : 0.0;
        }
        break;
      }
    }
  }
  std::string_view sense;
  std::string_view project;
  if (kind == AprsTelemetryDefinition::kBits) {
    sense = Sub(body, 0, body.find(','));
    bool bits = sense.size() == 8;
    for (char c : sense) bits = bits && (c == '0' || c == '1');
    if (!bits) {
      error.assign("telemetry bit sense \"");
      AppendQuotedText(error, sense);
      error.append("\" is not 8 bits of 0 and 1");
      return error;
    }
    project = Sub(body, 8);
    if (!project.empty() && project.front() == ',') project.remove_prefix(1);
  }

  auto it = stations_.find(station);
  if (it == stations_.end()) {
    if (stations_.size() >= kMaxStations) {
      error.assign("telemetry definitions of more than ");
      AppendInt(error, static_cast<long long>(kMaxStations));
      error.append(" stations: these are not kept");
      return error;
    }
    it = stations_.emplace(std::string(station), AprsTelemetryDefinitions()).first;
  }
  AprsTelemetryDefinitions& d = it->second;
  switch (kind) {
    case AprsTelemetryDefinition::kParm:
      d.name_count = ReadList(body, d.names);
      break;
    case AprsTelemetryDefinition::kUnit:
      d.unit_count = ReadList(body, d.units);
      break;
    case AprsTelemetryDefinition::kEqns:
      d.eqns = eqns;
      d.has_eqns = true;
      break;
    case AprsTelemetryDefinition::kBits:
      d.bit_sense.assign(sense);
      d.project.assign(project);
      d.has_bits = true;
      break;
    case AprsTelemetryDefinition::kNone:
      break;
  }
  return error;
}

const AprsTelemetryDefinitions* AprsTelemetryStore::Find(std::string_view station) const {
  const auto it = stations_.find(station);
  return it == stations_.end() ? nullptr : &it->second;
}

}  // namespace packscope
