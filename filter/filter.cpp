#include "filter/filter.h"

#include <re2/re2.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "render/civil_time.h"

namespace packscope {
namespace {

// Parentheses and nots deeper than this are refused (the parser and the evaluator recurse).
constexpr int kMaxDepth = 100;

enum class Op : std::uint8_t { kTruth, kEq, kNe, kLt, kLe, kGt, kGe, kMatch, kIn };

struct Token {
  enum Kind { kEnd, kWord, kString, kLParen, kRParen, kLBrace, kRBrace, kComma, kOp };
  Kind kind = kEnd;
  std::size_t pos = 0;   // byte offset in the expression
  std::string_view raw;  // as written
  std::string text;      // kWord, kString: the value (a string without its quotes)
  Op op = Op::kTruth;    // kOp
};

struct ParseFailure {
  std::size_t pos;
  std::string message;
};

std::string Quote(std::string_view s) {
  std::string out = "\"";
  out.append(s);
  out.push_back('"');
  return out;
}

bool IsDelimiter(char c) { return std::strchr(" \t\r\n(){},\"=!<>~&|", c) != nullptr || c == '\0'; }

std::vector<Token> Lex(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  const auto fail = [](std::size_t pos, std::string message) -> ParseFailure {
    return ParseFailure{pos, std::move(message)};
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    Token t;
    t.pos = i;
    const std::string_view two = text.substr(i, 2);
    std::size_t length = 1;
    switch (c) {
      case '(':
        t.kind = Token::kLParen;
        break;
      case ')':
        t.kind = Token::kRParen;
        break;
      case '{':
        t.kind = Token::kLBrace;
        break;
      case '}':
        t.kind = Token::kRBrace;
        break;
      case ',':
        t.kind = Token::kComma;
        break;
      case '=':
        if (two != "==") throw fail(i, "\"=\" is not an operator; write \"==\"");
        t.kind = Token::kOp;
        t.op = Op::kEq;
        length = 2;
        break;
      case '!':
        if (two != "!=") throw fail(i, "\"!\" is not an operator; write \"!=\" or \"not\"");
        t.kind = Token::kOp;
        t.op = Op::kNe;
        length = 2;
        break;
      case '<':
      case '>':
        t.kind = Token::kOp;
        if (two.size() == 2 && two[1] == '=') {
          t.op = c == '<' ? Op::kLe : Op::kGe;
          length = 2;
        } else {
          t.op = c == '<' ? Op::kLt : Op::kGt;
        }
        break;
      case '~':
        t.kind = Token::kOp;
        t.op = Op::kMatch;
        break;
      case '&':
        throw fail(i, "\"&\" is not an operator; write \"and\"");
      case '|':
        throw fail(i, "\"|\" is not an operator; write \"or\"");
      case '"': {
        t.kind = Token::kString;
        std::size_t j = i + 1;
        for (;;) {
          if (j >= text.size()) throw fail(i, "the quoted text that begins here has no end quote");
          if (text[j] == '"') break;
          // \" is a quote; any other backslash stays, for regular expressions.
          if (text[j] == '\\' && j + 1 < text.size() && text[j + 1] == '"') ++j;
          t.text.push_back(text[j]);
          ++j;
        }
        length = j + 1 - i;
        break;
      }
      default: {
        t.kind = Token::kWord;
        std::size_t j = i;
        while (j < text.size() && !IsDelimiter(text[j])) ++j;
        length = j - i;
        t.text.assign(text.substr(i, length));
        break;
      }
    }
    t.raw = text.substr(i, length);
    i += length;
    tokens.push_back(std::move(t));
  }
  Token end;
  end.pos = text.size();
  tokens.push_back(std::move(end));
  return tokens;
}

std::string_view OpText(Op op) {
  switch (op) {
    case Op::kEq:
      return "==";
    case Op::kNe:
      return "!=";
    case Op::kLt:
      return "<";
    case Op::kLe:
      return "<=";
    case Op::kGt:
      return ">";
    case Op::kGe:
      return ">=";
    case Op::kMatch:
      return "~";
    case Op::kIn:
      return "in";
    case Op::kTruth:
      break;
  }
  return {};
}

bool IsKeyword(const Token& t) {
  return t.kind == Token::kWord &&
         (t.text == "and" || t.text == "or" || t.text == "not" || t.text == "in");
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Upper(x) == Upper(y); });
}

// Decimal (with a sign and a fraction) or 0x.. hexadecimal. A number too large for a double is
// an infinity, which no field's range holds.
std::optional<double> ParseNumber(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  double d = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    for (const char c : s.substr(2)) {
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      d = d * 16 + digit;
    }
    return negative ? -d : d;
  }
  if (s.empty() || !((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return std::nullopt;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), d, std::chars_format::fixed);
  if (r.ptr != s.data() + s.size()) return std::nullopt;
  if (r.ec == std::errc::result_out_of_range) {
    d = std::numeric_limits<double>::infinity();
  } else if (r.ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -d : d;
}

// Within a field's range of whole numbers (Field::whole_max), or any finite number.
bool InRange(const Field& field, double n) {
  if (field.whole_max <= 0) return std::isfinite(n);
  return n >= 0 && n <= field.whole_max && n == std::floor(n);
}

// YYYY-MM-DD, then optionally T (or a blank) and HH:MM, :SS, .fraction, and a closing Z: UTC.
std::optional<std::int64_t> ParseTime(std::string_view s) {
  std::size_t pos = 0;
  const auto digits = [&](std::size_t n, int& value) {
    if (pos + n > s.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const char c = s[pos + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    pos += n;
    return true;
  };
  const auto literal = [&](char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
  if (!digits(4, year) || !literal('-') || !digits(2, month) || !literal('-') || !digits(2, day)) {
    return std::nullopt;
  }
  if (literal('T') || literal('t') || literal(' ')) {
    if (!digits(2, hour) || !literal(':') || !digits(2, minute)) return std::nullopt;
    if (literal(':')) {
      if (!digits(2, second)) return std::nullopt;
      if (literal('.')) {
        int scale = 100;
        const std::size_t first = pos;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
          millis += (s[pos] - '0') * scale;
          scale /= 10;
          ++pos;
        }
        if (pos == first) return std::nullopt;
      }
    }
  }
  if (!literal('Z')) literal('z');
  if (pos != s.size()) return std::nullopt;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] + (month == 2 && leap ? 1 : 0) ||
      hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const std::int64_t seconds =
      DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return seconds * 1000 + millis;
}

// CALL, CALL-SSID (0 to 15), CALL-* or PREFIX*: one to six letters and digits. text gets
// CALL-SSID as the AX.25 decoder writes it (no -0), upper case, CALL alone for CALL-*, or the
// PREFIX (which every callsign that begins with it matches, SSID included).
bool ParseCallsign(std::string_view s, std::string& text, bool& any_ssid, bool& prefix) {
  prefix = !s.empty() && s.back() == '*' && s.find('-') == std::string_view::npos;
  if (prefix) s.remove_suffix(1);
  std::string_view base = s;
  std::string_view ssid;
  const std::size_t dash = s.find('-');
  if (dash != std::string_view::npos) {
    base = s.substr(0, dash);
    ssid = s.substr(dash + 1);
    if (ssid.empty()) return false;
  }
  if (base.empty() || base.size() > 6) return false;
  for (const char c : base) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  text.clear();
  for (const char c : base) text.push_back(Upper(c));
  any_ssid = ssid == "*";
  if (any_ssid || ssid.empty() || prefix) return true;
  int n = 0;
  const auto r = std::from_chars(ssid.data(), ssid.data() + ssid.size(), n);
  if (r.ec != std::errc() || r.ptr != ssid.data() + ssid.size() || n < 0 || n > 15 ||
      ssid.size() > 2) {
    return false;
  }
  if (n != 0) text.append("-").append(std::to_string(n));
  return true;
}

// A callsign text without its -SSID.
std::string_view CallBase(std::string_view call) {
  const std::size_t dash = call.rfind('-');
  if (dash == std::string_view::npos || dash + 1 == call.size()) return call;
  for (std::size_t i = dash + 1; i < call.size(); ++i) {
    if (call[i] < '0' || call[i] > '9') return call;
  }
  return call.substr(0, dash);
}

// Columns count characters from 1: UTF-8 continuation bytes do not start one.
int ColumnOf(std::string_view text, std::size_t pos) {
  int n = 1;
  for (std::size_t i = 0; i < pos && i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::string FieldList() {
  std::string out;
  for (const Field& f : Fields()) {
    if (!out.empty()) out.append(", ");
    out.append(f.name);
  }
  return out;
}

// "a number", or "a whole number from 0 to 15" for a field with a range.
std::string NumberNoun(const Field& field) {
  if (field.whole_max <= 0) return "a number";
  char max[32];
  std::snprintf(max, sizeof max, "%.0f", field.whole_max);
  return "a whole number from 0 to " + std::string(max);
}

std::string NameList(const Field& field) {
  std::string out;
  for (const std::string_view n : field.names) {
    if (!out.empty()) out.append(", ");
    out.append(n);
  }
  return out;
}

}  // namespace

struct Filter::Program {
  struct Literal {
    double number = 0;
    bool is_code = false;   // kName: number is a code
    bool any_ssid = false;  // kCallsign: CALL-*
    bool prefix = false;    // kCallsign: PREFIX*
    std::string text;
    std::unique_ptr<RE2> regex;  // Op::kMatch
    // Op::kMatch with a pattern of plain characters, perhaps between ^ and $: text is found
    // without the regular expression engine, which costs more per call than such a search.
    bool plain = false;
    bool at_start = false;
    bool at_end = false;
  };
  struct Test {
    const Field* field = nullptr;
    Op op = Op::kTruth;
    std::uint32_t first = 0;  // literals
    std::uint32_t count = 0;
  };
  struct Node {
    enum Kind : std::uint8_t { kAnd, kOr, kNot, kTest };
    Kind kind = kTest;
    std::uint32_t first = 0;  // kAnd, kOr: into children; kNot: the node; kTest: the test
    std::uint32_t count = 0;  // kAnd, kOr
  };

  std::vector<Node> nodes;
  std::vector<std::uint32_t> children;
  std::vector<Test> tests;
  std::vector<Literal> literals;
  std::uint32_t root = 0;

  bool Eval(std::uint32_t n, FrameFacts& facts) const {
    const Node& node = nodes[n];
    switch (node.kind) {
      case Node::kAnd:
        for (std::uint32_t i = 0; i < node.count; ++i) {
          if (!Eval(children[node.first + i], facts)) return false;
        }
        return true;
      case Node::kOr:
        for (std::uint32_t i = 0; i < node.count; ++i) {
          if (Eval(children[node.first + i], facts)) return true;
        }
        return false;
      case Node::kNot:
        return !Eval(node.first, facts);
      case Node::kTest:
        return Run(tests[node.first], facts);
    }
    return false;
  }

  static bool Truth(const Field& field, const FieldValue& v) {
    switch (field.type) {
      case FieldType::kNumber:
      case FieldType::kTime:
        return true;
      case FieldType::kText:
        return AnyText(v, [](std::string_view t) { return !t.empty(); });
      case FieldType::kCallsign:
        return v.count > 0;
      case FieldType::kName:
        return v.count > 0 || v.has_code;
    }
    return false;
  }

  template <typename Pred>
  static bool AnyText(const FieldValue& v, Pred&& pred) {
    for (int i = 0; i < v.count; ++i) {
      if (pred(v.Text(i))) return true;
    }
    return false;
  }

  static bool Equal(const Field& field, const Literal& lit, const FieldValue& v) {
    const auto any = [&v](auto&& pred) { return AnyText(v, pred); };
    switch (field.type) {
      case FieldType::kNumber:
      case FieldType::kTime:
        return v.number == lit.number;
      case FieldType::kText:
        return any([&lit](std::string_view t) { return t == lit.text; });
      case FieldType::kCallsign:
        return any([&lit](std::string_view t) {
          if (lit.prefix) t = t.substr(0, lit.text.size());
          return SameIgnoringCase(lit.any_ssid ? CallBase(t) : t, lit.text);
        });
      case FieldType::kName:
        if (lit.is_code) return v.has_code && v.number == lit.number;
        return any([&lit](std::string_view t) { return t == lit.text; });
    }
    return false;
  }

  static bool PlainMatch(const Literal& lit, std::string_view s) {
    const std::string_view text = lit.text;
    if (lit.at_start && lit.at_end) return s == text;
    if (lit.at_start) return s.substr(0, text.size()) == text;
    if (lit.at_end) return s.size() >= text.size() && s.substr(s.size() - text.size()) == text;
    return s.find(text) != std::string_view::npos;
  }

  bool Run(const Test& t, FrameFacts& facts) const {
    if ((t.field->needs & ~facts.described) != 0) DescribeFrame(facts, t.field->needs);
    FieldValue v;
    t.field->read(facts, v);
    if (!v.present) return false;
    const Literal* lit = t.count > 0 ? &literals[t.first] : nullptr;
    switch (t.op) {
      case Op::kTruth:
        return Truth(*t.field, v);
      case Op::kEq:
        return Equal(*t.field, *lit, v);
      case Op::kNe:
        return !Equal(*t.field, *lit, v);
      case Op::kLt:
        return v.number < lit->number;
      case Op::kLe:
        return v.number <= lit->number;
      case Op::kGt:
        return v.number > lit->number;
      case Op::kGe:
        return v.number >= lit->number;
      case Op::kMatch:
        if (lit->plain)
          return AnyText(v, [lit](std::string_view s) { return PlainMatch(*lit, s); });
        return AnyText(v, [lit](std::string_view s) {
          return lit->regex->Match(re2::StringPiece(s.data(), s.size()), 0, s.size(),
                                   RE2::UNANCHORED, nullptr, 0);
        });
      case Op::kIn:
        for (std::uint32_t i = 0; i < t.count; ++i) {
          if (Equal(*t.field, literals[t.first + i], v)) return true;
        }
        return false;
    }
    return false;
  }
};

namespace {

class Parser {
 public:
  using Program = Filter::Program;

  Parser(std::string_view text, Program& program, FrameNeeds& needs)
      : text_(text), tokens_(Lex(text)), program_(program), needs_(needs) {}

  void ParseAll() {
    if (Peek().kind == Token::kEnd) Fail(Peek(), "the expression is empty");
    program_.root = ParseOr(0);
    if (Peek().kind == Token::kRParen) Fail(Peek(), "this \")\" closes no \"(\"");
    if (Peek().kind != Token::kEnd) {
      Fail(Peek(), "expected \"and\", \"or\" or the end, found " + Describe(Peek()));
    }
  }

 private:
  const Token& Peek() const { return tokens_[next_]; }
  const Token& Take() { return tokens_[next_ < tokens_.size() - 1 ? next_++ : next_]; }
  bool PeekWord(std::string_view word) const {
    return Peek().kind == Token::kWord && Peek().text == word;
  }

  static std::string Describe(const Token& t) {
    if (t.kind == Token::kEnd) return "the end";
    return Quote(t.raw);
  }

  [[noreturn]] static void Fail(const Token& at, std::string message) {
    throw ParseFailure{at.pos, std::move(message)};
  }

  std::uint32_t AddNode(Program::Node node) {
    program_.nodes.push_back(node);
    return static_cast<std::uint32_t>(program_.nodes.size() - 1);
  }

  std::uint32_t Group(Program::Node::Kind kind, const std::vector<std::uint32_t>& children) {
    if (children.size() == 1) return children.front();
    Program::Node node;
    node.kind = kind;
    node.first = static_cast<std::uint32_t>(program_.children.size());
    node.count = static_cast<std::uint32_t>(children.size());
    program_.children.insert(program_.children.end(), children.begin(), children.end());
    return AddNode(node);
  }

  std::uint32_t ParseOr(int depth) {
    std::vector<std::uint32_t> children{ParseAnd(depth)};
    while (PeekWord("or")) {
      Take();
      children.push_back(ParseAnd(depth));
    }
    return Group(Program::Node::kOr, children);
  }

  std::uint32_t ParseAnd(int depth) {
    std::vector<std::uint32_t> children{ParseUnary(depth)};
    while (PeekWord("and")) {
      Take();
      children.push_back(ParseUnary(depth));
    }
    return Group(Program::Node::kAnd, children);
  }

  std::uint32_t ParseUnary(int depth) {
    if (depth >= kMaxDepth) {
      Fail(Peek(), "the expression nests deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    if (PeekWord("not")) {
      Take();
      Program::Node node;
      node.kind = Program::Node::kNot;
      node.first = ParseUnary(depth + 1);
      return AddNode(node);
    }
    if (Peek().kind == Token::kLParen) {
      const Token& open = Take();
      const std::uint32_t inner = ParseOr(depth + 1);
      if (Peek().kind != Token::kRParen) {
        Fail(Peek(), "expected \")\" to close the \"(\" of column " +
                         std::to_string(Column(open.pos)) + ", found " + Describe(Peek()));
      }
      Take();
      return inner;
    }
    return ParseTest();
  }

  std::uint32_t ParseTest() {
    const Token& name = Peek();
    if (name.kind != Token::kWord || IsKeyword(name)) {
      Fail(name, "expected a field, \"not\" or \"(\", found " + Describe(name));
    }
    const Field* field = FindField(name.text);
    if (field == nullptr) {
      Fail(name, "unknown field " + Quote(name.text) + "; the fields are " + FieldList());
    }
    Take();
    needs_ |= field->needs;
    Program::Test test;
    test.field = field;
    test.first = static_cast<std::uint32_t>(program_.literals.size());
    const Token& next = Peek();
    if (next.kind == Token::kOp) {
      test.op = next.op;
      CheckOperator(*field, next);
      Take();
      AddLiteral(*field, test.op, "after " + Quote(OpText(test.op)));
      test.count = 1;
    } else if (PeekWord("in")) {
      test.op = Op::kIn;
      const Token& in = Take();
      if (Peek().kind != Token::kLBrace) {
        Fail(Peek(), "expected \"{\" after \"in\", found " + Describe(Peek()));
      }
      Take();
      const std::string where = "in the set of column " + std::to_string(Column(in.pos));
      for (;;) {
        AddLiteral(*field, Op::kIn, where);
        ++test.count;
        if (Peek().kind == Token::kComma) {
          Take();
          continue;
        }
        if (Peek().kind == Token::kRBrace) {
          Take();
          break;
        }
        Fail(Peek(), "expected \",\" or \"}\" " + where + ", found " + Describe(Peek()));
      }
    } else if ((next.kind == Token::kWord && !PeekWord("and") && !PeekWord("or")) ||
               next.kind == Token::kString || next.kind == Token::kLBrace) {
      Fail(next, "expected an operator (==, !=, <, <=, >, >=, ~, in) after " + Quote(field->name) +
                     ", found " + Describe(next));
    }
    program_.tests.push_back(test);
    Program::Node node;
    node.kind = Program::Node::kTest;
    node.first = static_cast<std::uint32_t>(program_.tests.size() - 1);
    return AddNode(node);
  }

  static void CheckOperator(const Field& field, const Token& op) {
    const bool ordered =
        op.op == Op::kLt || op.op == Op::kLe || op.op == Op::kGt || op.op == Op::kGe;
    const bool numeric = field.type == FieldType::kNumber || field.type == FieldType::kTime;
    if (ordered && !numeric) {
      Fail(op, Quote(op.raw) + " compares numbers and times; " + std::string(field.name) + " is " +
                   std::string(FieldTypeNoun(field.type)));
    }
    if (op.op == Op::kMatch && numeric) {
      Fail(op, "\"~\" matches texts, callsigns and names; " + std::string(field.name) + " is " +
                   std::string(FieldTypeNoun(field.type)));
    }
  }

  void AddLiteral(const Field& field, Op op, const std::string& where) {
    const Token& t = Peek();
    if ((t.kind != Token::kWord && t.kind != Token::kString) || IsKeyword(t)) {
      Fail(t, "expected a value " + where + ", found " + Describe(t));
    }
    if (t.kind == Token::kWord && FindField(t.text) != nullptr) {
      Fail(t, "expected a value " + where + ", found the field " + Quote(t.text) +
                  " (a test compares a field with a value; quote a text that looks like a field)");
    }
    Program::Literal lit;
    if (op == Op::kMatch) {
      RE2::Options options;
      options.set_encoding(RE2::Options::EncodingLatin1);
      options.set_log_errors(false);
      options.set_never_capture(true);
      lit.regex = std::make_unique<RE2>(t.text, options);
      if (!lit.regex->ok()) {
        Fail(t, "bad regular expression " + where + ": " + lit.regex->error());
      }
      SetPlain(t.text, lit);
    } else {
      switch (field.type) {
        case FieldType::kNumber: {
          const std::optional<double> n = ParseNumber(t.text);
          if (!n || !InRange(field, *n)) {
            Fail(t, "expected " + NumberNoun(field) + " " + where + ", found " + Describe(t));
          }
          lit.number = *n;
          break;
        }
        case FieldType::kTime: {
          const std::optional<std::int64_t> ms = ParseTime(t.text);
          if (!ms) {
            Fail(t, "expected a time " + where +
                        " (UTC: YYYY-MM-DD, YYYY-MM-DDTHH:MM, YYYY-MM-DDTHH:MM:SS or "
                        "YYYY-MM-DDTHH:MM:SS.fff), found " +
                        Describe(t));
          }
          lit.number = static_cast<double>(*ms);
          break;
        }
        case FieldType::kText:
          lit.text = t.text;
          break;
        case FieldType::kCallsign:
          if (!ParseCallsign(t.text, lit.text, lit.any_ssid, lit.prefix)) {
            Fail(t, "expected a callsign " + where +
                        " (CALL, CALL-SSID with an SSID of 0 to 15, CALL-* for any SSID, or "
                        "PREFIX* for every callsign that begins so), found " +
                        Describe(t));
          }
          break;
        case FieldType::kName: {
          const auto name =
              std::find_if(field.names.begin(), field.names.end(),
                           [&t](std::string_view n) { return SameIgnoringCase(n, t.text); });
          if (name != field.names.end()) {
            lit.text = *name;
            break;
          }
          const std::optional<double> code = ParseNumber(t.text);
          if (!field.code_help.empty() && code && InRange(field, *code)) {
            lit.is_code = true;
            lit.number = *code;
            break;
          }
          std::string message = "expected one of " + NameList(field);
          if (!field.code_help.empty()) message += " or " + std::string(field.code_help);
          Fail(t, message + " " + where + ", found " + Describe(t));
        }
      }
    }
    program_.literals.push_back(std::move(lit));
    Take();
  }

  // A pattern of characters that stand for themselves, perhaps after ^ and before $.
  static void SetPlain(std::string_view pattern, Program::Literal& lit) {
    const bool at_start = !pattern.empty() && pattern.front() == '^';
    if (at_start) pattern.remove_prefix(1);
    const bool at_end = !pattern.empty() && pattern.back() == '$';
    if (at_end) pattern.remove_suffix(1);
    for (const char c : pattern) {
      if (std::strchr("\\.+*?()|[]{}^$", c) != nullptr) return;
    }
    lit.plain = true;
    lit.at_start = at_start;
    lit.at_end = at_end;
    lit.text.assign(pattern);
  }

  int Column(std::size_t pos) const { return ColumnOf(text_, pos); }

  std::string_view text_;
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
  Program& program_;
  FrameNeeds& needs_;
};

}  // namespace

std::string FilterError::Text() const {
  return "filter: column " + std::to_string(column) + ": " + message;
}

Filter::Filter() : program_(std::make_unique<Program>()) {}
Filter::Filter(Filter&&) noexcept = default;
Filter& Filter::operator=(Filter&&) noexcept = default;
Filter::~Filter() = default;

std::optional<Filter> Filter::Parse(std::string_view text, FilterError* error) {
  Filter filter;
  filter.text_.assign(text);
  try {
    Parser parser(text, *filter.program_, filter.needs_);
    parser.ParseAll();
  } catch (const ParseFailure& failure) {
    if (error != nullptr) *error = FilterError{ColumnOf(text, failure.pos), failure.message};
    return std::nullopt;
  }
  return filter;
}

bool Filter::Matches(FrameFacts& facts) const { return program_->Eval(program_->root, facts); }

std::string FilterHelpText() {
  std::string out =
      "\nFilter (--filter EXPR): only the frames that match are written.\n"
      "  A test is FIELD OP VALUE, FIELD in {VALUE, ...}, or a bare FIELD (the frame has it).\n"
      "  Operators: == != < <= > >= ~ in, and, or, not, ( ). ~ is an unanchored regular\n"
      "  expression in RE2 syntax (each byte one character). Numbers: decimal or 0x..;\n"
      "  times: ISO 8601 in UTC (2016-01-01T12:00, seconds and fraction optional); callsigns:\n"
      "  CALL-SSID text (QQ0QQ is SSID 0, QQ0QQ-* any SSID, APZ* any callsign that begins\n"
      "  with APZ). A frame that lacks a field (via without digipeaters, problem without\n"
      "  findings) fails every test on it, != included. Fields:\n";
  // "  name      type      help", the help wrapped at 96 columns under itself.
  constexpr std::size_t kHelpColumn = 22;
  constexpr std::size_t kWidth = 96;
  for (const Field& f : Fields()) {
    std::string line = "  " + std::string(f.name);
    line.resize(std::max<std::size_t>(line.size() + 1, 12), ' ');
    line.append(FieldTypeNoun(f.type).substr(2));
    if (line.size() >= kHelpColumn) {  // a long name: the help goes below it
      out += line + "\n";
      line.clear();
    }
    line.resize(kHelpColumn, ' ');
    std::string_view help = f.help;
    while (line.size() + help.size() > kWidth) {
      const std::size_t cut = help.rfind(' ', kWidth - line.size());
      if (cut == std::string_view::npos) break;
      out += line + std::string(help.substr(0, cut)) + "\n";
      help.remove_prefix(cut + 1);
      line.assign(kHelpColumn, ' ');
    }
    out += line + std::string(help) + "\n";
  }
  out +=
      "  Examples:\n"
      "    --filter 'src == QQ0QQ-* and type == UI'\n"
      "    --filter 'type in {SABM, DISC, UA, DM} or via == WIDE2-*'\n"
      "    --filter 'time >= 2016-01-01T12:00 and time < 2016-01-01T13:00'\n"
      "    --filter 'info ~ \"^[!=/@]\" and not problem'\n"
      "    --filter 'aprs.type in {position, mic-e} and aprs.lat > 48.1 and aprs.lon < 11.6'\n"
      "    --filter 'aprs.addressee == QQ1ABC-9 or aprs.weather.temp_c < 0 or aprs.error'\n";
  return out;
}

}  // namespace packscope
