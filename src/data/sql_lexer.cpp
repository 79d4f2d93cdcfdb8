#include "data/sql_lexer.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "automation/number_text.h"

namespace z418kt::data::sql {

namespace {

// ASCII letters and digits; every byte of a multi-byte character is a word
// character, whatever the process locale says of it.
namespace byteclass {
constexpr bool digit(unsigned char b) { return b >= '0' && b <= '9'; }
constexpr bool wordStart(unsigned char b) {
  unsigned char lower = b | 0x20;
  return (lower >= 'a' && lower <= 'z') || b == '_' || b >= 0x80;
}
constexpr bool wordChar(unsigned char b) {
  return wordStart(b) || digit(b) || b == '$' || b == '#';
}
constexpr bool blank(unsigned char b) {
  return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '\f' || b == '\v';
}
enum : uint8_t { kDigit = 1, kWordStart = 2, kWordChar = 4, kBlank = 8 };
// Every text a statement passes through is scanned byte by byte, several
// times: one look-up per byte instead of a chain of comparisons.
constexpr auto kTable = [] {
  std::array<uint8_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    auto c = static_cast<unsigned char>(b);
    table[b] = static_cast<uint8_t>((digit(c) ? kDigit : 0) | (wordStart(c) ? kWordStart : 0) |
                                    (wordChar(c) ? kWordChar : 0) | (blank(c) ? kBlank : 0));
  }
  return table;
}();
constexpr bool is(char c, uint8_t kind) { return kTable[static_cast<unsigned char>(c)] & kind; }
}  // namespace byteclass

bool isDigit(char c) { return byteclass::is(c, byteclass::kDigit); }
bool isWordStart(char c) { return byteclass::is(c, byteclass::kWordStart); }
bool isWordChar(char c) { return byteclass::is(c, byteclass::kWordChar); }
bool isBlank(char c) { return byteclass::is(c, byteclass::kBlank); }

// Length of a quoted token starting at `pos` with `quote`; a doubled quote
// stays inside. Unterminated: runs to the end.
size_t quotedLength(std::string_view t, size_t pos, char quote) {
  size_t i = pos + 1;
  while (i < t.size()) {
    if (t[i] == quote) {
      if (i + 1 < t.size() && t[i + 1] == quote) {
        i += 2;
        continue;
      }
      return i + 1 - pos;
    }
    ++i;
  }
  return t.size() - pos;
}

// True when the literal token ends with its closing quote (not a doubled one).
bool literalClosed(std::string_view token) {
  for (size_t i = 1; i < token.size(); ++i) {
    if (token[i] != '\'') continue;
    if (i + 1 == token.size()) return true;
    if (token[i + 1] == '\'') ++i;
  }
  return false;
}

// Length of a $tag$ ... $tag$ body starting at `pos`, or 0 when the '$' there
// opens none (a lone '$', or a positional parameter such as $1).
size_t dollarQuotedLength(std::string_view t, size_t pos) {
  size_t i = pos + 1;
  if (i < t.size() && isWordStart(t[i])) {
    while (i < t.size() && (isWordChar(t[i]) && t[i] != '$')) ++i;
  }
  if (i >= t.size() || t[i] != '$') return 0;
  std::string_view tag = t.substr(pos, i + 1 - pos);
  size_t end = t.find(tag, i + 1);
  return (end == std::string_view::npos ? t.size() : end + tag.size()) - pos;
}

size_t numberLength(std::string_view t, size_t pos) {
  size_t i = pos;
  while (i < t.size() && isDigit(t[i])) ++i;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && isDigit(t[i])) ++i;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    size_t j = i + 1;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
    if (j < t.size() && isDigit(t[j])) {
      while (j < t.size() && isDigit(t[j])) ++j;
      i = j;
    }
  }
  return i - pos;
}

// Tokens that carry meaning (no blanks, no comments).
std::vector<Token> significant(const std::vector<Token>& tokens) {
  std::vector<Token> out;
  for (const Token& t : tokens)
    if (t.kind != TokenKind::Blank && t.kind != TokenKind::Comment) out.push_back(t);
  return out;
}

}  // namespace

namespace {

// The token that starts at `pos` (< t.size()).
Token tokenAt(std::string_view t, size_t pos) {
  char c = t[pos];
  TokenKind kind;
  size_t len = 1;
  // Words first: most tokens are words, and no other token starts like one.
  if (isWordStart(c)) {
    kind = TokenKind::Word;
    while (pos + len < t.size() && isWordChar(t[pos + len])) ++len;
  } else if (isBlank(c)) {
    kind = TokenKind::Blank;
    while (pos + len < t.size() && isBlank(t[pos + len])) ++len;
  } else if (c == '\'') {
    kind = TokenKind::Literal;
    len = quotedLength(t, pos, '\'');
  } else if (c == '$' && dollarQuotedLength(t, pos) > 0) {
    kind = TokenKind::DollarQuoted;
    len = dollarQuotedLength(t, pos);
  } else if (c == '"') {
    kind = TokenKind::QuotedName;
    len = quotedLength(t, pos, '"');
  } else if (c == '-' && pos + 1 < t.size() && t[pos + 1] == '-') {
    kind = TokenKind::Comment;
    size_t end = t.find('\n', pos);
    len = (end == std::string_view::npos ? t.size() : end) - pos;
  } else if (c == '/' && pos + 1 < t.size() && t[pos + 1] == '*') {
    kind = TokenKind::Comment;
    size_t end = t.find("*/", pos + 2);
    len = (end == std::string_view::npos ? t.size() : end + 2) - pos;
  } else if (isDigit(c) || (c == '.' && pos + 1 < t.size() && isDigit(t[pos + 1]))) {
    kind = TokenKind::Number;
    len = numberLength(t, pos);
  } else {
    kind = TokenKind::Punct;
  }
  return {kind, t.substr(pos, len)};
}

}  // namespace

std::vector<Token> tokenize(std::string_view t) {
  std::vector<Token> tokens;
  tokens.reserve(t.size() / 4 + 1);
  for (size_t pos = 0; pos < t.size();) {
    tokens.push_back(tokenAt(t, pos));
    pos += tokens.back().text.size();
  }
  return tokens;
}

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::string literalValue(std::string_view token) {
  std::string out;
  if (token.size() < 2 || token.front() != '\'') return std::string(token);
  std::string_view inner = token.substr(1, token.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    out += inner[i];
    if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
  }
  return out;
}

namespace {

// The index of the token before which "DELETE table" lacks its FROM, or
// tokens.size() when the statement needs none.
size_t missingFrom(const std::vector<Token>& tokens) {
  size_t i = 0;
  auto skipNoise = [&] {
    while (i < tokens.size() &&
           (tokens[i].kind == TokenKind::Blank || tokens[i].kind == TokenKind::Comment))
      ++i;
  };
  skipNoise();
  if (i >= tokens.size() || tokens[i].kind != TokenKind::Word ||
      !sameWord(tokens[i].text, "DELETE"))
    return tokens.size();
  ++i;
  skipNoise();
  if (i >= tokens.size()) return tokens.size();
  bool isName = tokens[i].kind == TokenKind::Word || tokens[i].kind == TokenKind::QuotedName;
  if (!isName || sameWord(tokens[i].text, "FROM")) return tokens.size();
  return i;
}

// The text again from its tokens: `word` replaced (not after a '.'), and
// "FROM " put before the token numbered `fromAt`.
std::string rebuilt(std::string_view text, const std::vector<Token>& tokens, std::string_view word,
                    std::string_view replacement, size_t fromAt) {
  std::string out;
  out.reserve(text.size() + 16);
  const Token* previous = nullptr;  // last significant token
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (i == fromAt) out += "FROM ";
    bool qualified = previous && previous->kind == TokenKind::Punct && previous->text == ".";
    if (!word.empty() && t.kind == TokenKind::Word && !qualified && sameWord(t.text, word))
      out += replacement;
    else
      out += t.text;
    if (t.kind != TokenKind::Blank && t.kind != TokenKind::Comment) previous = &t;
  }
  return out;
}

// The call that the significant tokens `tokens` make (see parseExec).
std::optional<ExecCall> parseExecTokens(const std::vector<Token>& tokens, std::string& error);

// `upperWord` (ASCII capitals, at least two) anywhere in `text`, ignoring
// case. Its second letter is looked for with memchr in both cases (rare
// letters make this a fast scan), and the word checked around each hit.
bool containsIgnoringCase(std::string_view text, std::string_view upperWord) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  auto matchesAt = [&](size_t start) {
    if (start + upperWord.size() > text.size()) return false;
    for (size_t k = 0; k < upperWord.size(); ++k)
      if (upper(text[start + k]) != upperWord[k]) return false;
    return true;
  };
  const char second[2] = {upperWord[1], static_cast<char>(upperWord[1] | 0x20)};
  for (char c : second) {
    const char* data = text.data();
    for (size_t from = 1; from < text.size();) {
      const void* hit = std::memchr(data + from, c, text.size() - from);
      if (!hit) break;
      size_t at = static_cast<size_t>(static_cast<const char*>(hit) - data);
      if (matchesAt(at - 1)) return true;
      from = at + 1;
    }
  }
  return false;
}

}  // namespace

bool mayNeedRewrite(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '/')) return true;
  size_t start = i;
  while (i < text.size() && isWordChar(text[i])) ++i;
  std::string_view first = text.substr(start, i - start);
  return sameWord(first, "EXEC") || sameWord(first, "EXECUTE") || sameWord(first, "DELETE") ||
         containsIgnoringCase(text, "SYSDATE");
}

bool opensWithExec(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  return text.size() - i >= 4 && sameWord(text.substr(i, 4), "EXEC");
}

std::string replaceWord(std::string_view text, std::string_view word,
                        std::string_view replacement) {
  auto tokens = tokenize(text);
  return rebuilt(text, tokens, word, replacement, tokens.size());
}

std::string addDeleteFrom(std::string_view text) {
  auto tokens = tokenize(text);
  return rebuilt(text, tokens, {}, {}, missingFrom(tokens));
}

Adapted adaptStatement(std::string_view statement, std::string_view now) {
  Adapted out;
  if (!mayNeedRewrite(statement)) {
    out.text = statement;
    return out;
  }
  // A procedure call is read from its significant tokens alone, gathered in
  // one pass; only other statements are rebuilt token by token.
  std::vector<Token> significantTokens;
  for (size_t pos = 0; pos < statement.size();) {
    Token t = tokenAt(statement, pos);
    pos += t.text.size();
    if (t.kind == TokenKind::Blank || t.kind == TokenKind::Comment) continue;
    if (significantTokens.empty()) {
      if (!(t.kind == TokenKind::Word && (sameWord(t.text, "EXEC") || sameWord(t.text, "EXECUTE"))))
        break;
      significantTokens.reserve(16);
    }
    significantTokens.push_back(t);
  }
  if (!significantTokens.empty()) {
    out.call = parseExecTokens(significantTokens, out.error);
    return out;
  }
  auto tokens = tokenize(statement);
  out.text = rebuilt(statement, tokens, "SYSDATE", now, missingFrom(tokens));
  return out;
}

std::vector<std::string> splitStatements(std::string_view script) {
  std::vector<std::string> out;
  std::string current;
  bool meaningful = false;
  auto flush = [&] {
    size_t b = current.find_first_not_of(" \t\r\n\f\v");
    size_t e = current.find_last_not_of(" \t\r\n\f\v");
    if (meaningful && b != std::string::npos) out.push_back(current.substr(b, e + 1 - b));
    current.clear();
    meaningful = false;
  };
  // A CREATE TRIGGER statement holds its body's statements between BEGIN and
  // END (CASE ... END nests inside): its ';' end it only outside them.
  int words = 0, depth = 0;
  bool create = false, trigger = false;
  for (const Token& t : tokenize(script)) {
    if (t.kind == TokenKind::Punct && t.text == ";" && depth == 0) {
      flush();
      words = 0;
      create = trigger = false;
      continue;
    }
    if (t.kind != TokenKind::Blank && t.kind != TokenKind::Comment) meaningful = true;
    if (t.kind == TokenKind::Word) {
      ++words;
      if (words == 1) create = sameWord(t.text, "CREATE");
      if (create && words <= 3 && sameWord(t.text, "TRIGGER")) trigger = true;
      if (trigger && (sameWord(t.text, "BEGIN") || sameWord(t.text, "CASE"))) ++depth;
      if (trigger && sameWord(t.text, "END") && depth > 0) --depth;
    }
    current += t.text;
  }
  flush();
  return out;
}

bool readPlainExec(std::string_view t, ExecCall& call) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < t.size() && isBlank(t[i])) ++i;
  };
  auto word = [&] {
    size_t start = i;
    if (i < t.size() && isWordStart(t[i]))
      while (++i < t.size() && isWordChar(t[i])) {
      }
    return t.substr(start, i - start);
  };
  // Only blanks, or a ';' and blanks, up to the end.
  auto atEnd = [&] {
    skipBlanks();
    if (i < t.size() && t[i] == ';') {
      ++i;
      skipBlanks();
    }
    return i == t.size();
  };
  skipBlanks();
  std::string_view exec = word();
  if (!sameWord(exec, "EXEC") && !sameWord(exec, "EXECUTE")) return false;
  skipBlanks();
  std::string_view name = word();
  if (name.empty()) return false;
  call.procedure.assign(name);
  while (i + 1 < t.size() && t[i] == '.' && isWordStart(t[i + 1])) {
    ++i;
    call.procedure += '.';
    call.procedure += word();
  }
  size_t count = 0;
  size_t save = i;
  if (atEnd()) {
    call.arguments.clear();
    return true;
  }
  i = save;
  while (true) {
    skipBlanks();
    if (i >= t.size()) return false;
    if (count == call.arguments.size()) call.arguments.emplace_back();
    ExecArgument& arg = call.arguments[count++];
    char c = t[i];
    bool sign = (c == '-' || c == '+') && i + 1 < t.size() &&
                (isDigit(t[i + 1]) || (t[i + 1] == '.' && i + 2 < t.size() && isDigit(t[i + 2])));
    if (isDigit(c) || (c == '.' && i + 1 < t.size() && isDigit(t[i + 1])) || sign) {
      arg.kind = ExecArgument::Kind::Number;
      arg.value.clear();
      if (sign) {
        if (c == '-') arg.value = '-';
        ++i;
      }
      size_t length = numberLength(t, i);
      arg.value.append(t.substr(i, length));
      i += length;
    } else if (c == '\'') {
      size_t length = quotedLength(t, i, '\'');
      std::string_view literal = t.substr(i, length);
      if (!literalClosed(literal)) return false;
      arg.kind = ExecArgument::Kind::Text;
      arg.value.clear();
      std::string_view inner = literal.substr(1, literal.size() - 2);
      for (size_t k = 0; k < inner.size(); ++k) {
        arg.value += inner[k];
        if (inner[k] == '\'') ++k;  // a doubled quote inside a closed literal
      }
      i += length;
    } else if (isWordStart(c)) {
      if (!sameWord(word(), "NULL")) return false;
      arg.kind = ExecArgument::Kind::Null;
      arg.value.clear();
    } else {
      return false;
    }
    skipBlanks();
    if (i < t.size() && t[i] == ',') {
      ++i;
      continue;
    }
    if (!atEnd()) return false;
    call.arguments.resize(count);
    return true;
  }
}

std::optional<ExecCall> parseExec(std::string_view text, std::string& error) {
  return parseExecTokens(significant(tokenize(text)), error);
}

namespace {

std::optional<ExecCall> parseExecTokens(const std::vector<Token>& tokens, std::string& error) {
  error.clear();
  if (tokens.empty() || tokens[0].kind != TokenKind::Word ||
      !(sameWord(tokens[0].text, "EXEC") || sameWord(tokens[0].text, "EXECUTE")))
    return std::nullopt;
  auto fail = [&](std::string why) -> std::optional<ExecCall> {
    error = std::move(why);
    return std::nullopt;
  };
  size_t i = 1;
  if (i >= tokens.size() || tokens[i].kind != TokenKind::Word)
    return fail("EXEC without a procedure name");
  ExecCall call;
  call.procedure = std::string(tokens[i++].text);
  call.arguments.reserve(tokens.size() / 2);
  while (i + 1 < tokens.size() && tokens[i].text == "." && tokens[i + 1].kind == TokenKind::Word) {
    call.procedure += ".";
    call.procedure += tokens[i + 1].text;
    i += 2;
  }
  size_t end = tokens.size();
  if (end > i && tokens[end - 1].text == ";") --end;
  if (i == end) return call;  // no arguments
  while (true) {
    if (i >= end) return fail("EXEC " + call.procedure + ": missing argument after ','");
    ExecArgument arg;
    const Token& t = tokens[i];
    if (t.kind == TokenKind::Word && sameWord(t.text, "NULL")) {
      arg.kind = ExecArgument::Kind::Null;
      ++i;
    } else if (t.kind == TokenKind::Literal) {
      if (!literalClosed(t.text))
        return fail("EXEC " + call.procedure + ": unterminated text argument");
      arg.kind = ExecArgument::Kind::Text;
      arg.value = literalValue(t.text);
      ++i;
    } else if (t.kind == TokenKind::Number || ((t.text == "-" || t.text == "+") && i + 1 < end &&
                                               tokens[i + 1].kind == TokenKind::Number &&
                                               tokens[i + 1].text.data() == t.text.data() + 1)) {
      arg.kind = ExecArgument::Kind::Number;
      if (t.kind != TokenKind::Number) {
        if (t.text == "-") arg.value = "-";
        ++i;
      }
      arg.value += tokens[i].text;
      ++i;
    } else {
      return fail("EXEC " + call.procedure + ": argument " +
                  std::to_string(call.arguments.size() + 1) +
                  " is not a literal: " + std::string(t.text));
    }
    call.arguments.push_back(std::move(arg));
    if (i == end) return call;
    if (tokens[i].text != ",")
      return fail("EXEC " + call.procedure + ": expected ',' after argument " +
                  std::to_string(call.arguments.size()));
    ++i;
  }
}

}  // namespace

}  // namespace z418kt::data::sql

namespace z418kt::data::sql {

namespace {

bool isKeyword(std::string_view word, std::string_view upper);

bool isPunct(const Token* t, std::string_view text) {
  return t && t->kind == TokenKind::Punct && t->text == text;
}

// Whether a value after `previous` is an operand that a placeholder can take
// the place of.
bool operandPlace(const Token* previous) {
  if (!previous) return false;
  if (previous->kind == TokenKind::Punct)
    return std::string_view("=<>(,+-*/%|").find(previous->text[0]) != std::string_view::npos;
  if (previous->kind != TokenKind::Word) return false;
  for (std::string_view w : {"AND", "OR", "NOT", "THEN", "ELSE", "WHEN", "LIKE", "BETWEEN"})
    if (isKeyword(previous->text, w)) return true;
  return false;
}

// SQLite's reading of the decimal `whole` / 10^decimals (decimals 1 to 22):
// the digits over the power of ten, divided in long double and rounded to a
// double. With both operands exact the division rounds once.
double readBySqlite(uint64_t whole, int decimals) {
  return static_cast<double>(static_cast<long double>(whole) /
                             static_cast<long double>(numtext::kExactTenPowers[decimals]));
}

// A number whose value a bound parameter carries exactly as the literal
// does: a whole number within 64 bits, or a decimal that a double holds
// exactly (12.5, 0.25, 1e3), zero aside. Engines convert other decimals (0.35)
// each in their own way, not always to the nearest double, so those stay
// written out; with `sqliteReading` a decimal with a fraction is also taken
// when SQLite's own reading of it gives the double the bound value carries.
// SQLite reads such a literal as its digits over a power of ten, divided in
// long double and rounded to a double: the nearest double for the usual
// measures (every one below 10,000 with up to four decimals, below 200 with
// five), but not always with more decimals (0.002877 reads one unit in the
// last place above the nearest). The bound value is the nearest
// double; where the two readings differ the literal stays in the shape. A
// SQLite that reads in plain double, or rounds exactly, gives the nearest
// double too, so the values taken are the same on those.
bool plainNumber(std::string_view text, bool sqliteReading) {
  size_t leading = 0;
  while (leading < text.size() && isDigit(text[leading])) ++leading;
  // Up to 18 digits always fit in 64 bits.
  if (leading == text.size()) return leading <= 18 || numtext::parseInteger(text).has_value();
  // A real zero stays: SQLite writes -0.0 for a minus before the literal, but
  // 0.0 for a minus before a bound zero.
  auto d = numtext::parseDouble(text);
  if (!d || *d == 0) return false;
  // The digits as one whole number `whole` times 10^exponent.
  uint64_t whole = 0;
  int digits = 0, exponent = 0;
  size_t i = 0;
  bool fraction = false;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      fraction = true;
      continue;
    }
    if (whole == 0 && text[i] == '0') {
      if (fraction) --exponent;
      continue;
    }
    if (++digits > 15) return false;
    whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
    if (fraction) --exponent;
  }
  if (i < text.size()) {
    auto e = numtext::parseInteger(text.substr(i + 1));
    if (!e || *e > 22 || *e < -22) return false;
    exponent += static_cast<int>(*e);
  }
  if (exponent > 22 || exponent < -22) return false;
  double power = numtext::kExactTenPowers[exponent < 0 ? -exponent : exponent];
  double w = static_cast<double>(whole);  // exact: at most 15 digits
  if (exponent >= 0 ? std::fma(w, power, -*d) == 0 : std::fma(*d, power, -w) == 0) return true;
  if (!sqliteReading || exponent >= 0) return false;
  return readBySqlite(whole, -exponent) == *d;
}

// `word` is `upper` (ASCII capitals), in any case.
bool isKeyword(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

bool isWord(const Token& t, std::string_view upper) {
  return t.kind == TokenKind::Word && isKeyword(t.text, upper);
}

// One level of parentheses: whether it is a select list (values there name
// result columns unless aliased), and whether it lies inside one.
struct Level {
  bool selectList = false;
  bool insideSelectList = false;
};
constexpr size_t kMaxLevels = 64;

// The significant tokens of a text one after another, blanks and comments
// passed over.
class Reader {
 public:
  explicit Reader(std::string_view text, size_t pos = 0) : text_(text), pos_(pos) {}
  std::optional<Token> next() {
    while (pos_ < text_.size()) {
      Token t = tokenAt(text_, pos_);
      pos_ += t.text.size();
      if (t.kind != TokenKind::Blank && t.kind != TokenKind::Comment) return t;
    }
    return std::nullopt;
  }
  size_t position() const { return pos_; }

 private:
  std::string_view text_;
  size_t pos_;
};

// Whether the select-list value that ends at `after` stands alone with its
// alias: [AS] alias, then ',', FROM or the end.
bool aliasedItem(std::string_view text, size_t after) {
  Reader r(text, after);
  auto next = r.next();
  if (next && isWord(*next, "AS")) next = r.next();
  if (!next || next->kind != TokenKind::Word || isKeyword(next->text, "FROM") ||
      isKeyword(next->text, "AS"))
    return false;
  auto then = r.next();
  return !then || isPunct(&*then, ",") || isPunct(&*then, ";") || isWord(*then, "FROM");
}

void appendPlaceholder(std::string& out, Placeholder style, size_t number) {
  out += style == Placeholder::Question ? '?' : '$';
  char digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number);
  while (n) out += digits[--n];
}

}  // namespace

std::optional<Shaped> shapeStatement(std::string_view statement, Placeholder style) {
  if (statement.find('\0') != std::string_view::npos) return std::nullopt;
  Shaped out;
  out.shape.reserve(statement.size() + 16);
  size_t copied = 0;  // statement[0, copied) is in the shape already
  Level levels[kMaxLevels];
  size_t depth = 0;
  bool frozen = false;  // after ORDER BY or GROUP BY
  std::optional<Token> previous;
  Reader reader(statement);
  while (auto token = reader.next()) {
    const Token& t = *token;
    const size_t begin = static_cast<size_t>(t.text.data() - statement.data());
    const size_t end = begin + t.text.size();
    if (!previous &&
        !(isWord(t, "SELECT") || isWord(t, "INSERT") || isWord(t, "UPDATE") || isWord(t, "DELETE")))
      return std::nullopt;
    switch (t.kind) {
      // Placeholders of the text's own (and bodies that may hold some) would
      // collide with the numbering of the cut-out values.
      case TokenKind::DollarQuoted:
        return std::nullopt;
      case TokenKind::Punct:
        if (t.text[0] == '?' || t.text[0] == '@' || t.text[0] == '$') return std::nullopt;
        if (t.text[0] == ':' && end < statement.size() && isWordStart(statement[end]) &&
            !(begin > 0 && statement[begin - 1] == ':'))
          return std::nullopt;
        if (t.text[0] == '(') {
          if (depth + 1 == kMaxLevels) return std::nullopt;
          Level& outer = levels[depth];
          levels[++depth] = Level{false, outer.selectList || outer.insideSelectList};
        } else if (t.text[0] == ')' && depth > 0) {
          --depth;
        }
        break;
      case TokenKind::Word:
        if (isKeyword(t.text, "SELECT"))
          levels[depth].selectList = true;
        else if (isKeyword(t.text, "FROM"))
          levels[depth].selectList = false;
        else if (isKeyword(t.text, "ORDER") || isKeyword(t.text, "GROUP"))
          frozen = true;
        break;
      case TokenKind::Literal:
      case TokenKind::Number: {
        if (t.kind == TokenKind::Literal && !literalClosed(t.text)) return std::nullopt;
        const Level& level = levels[depth];
        if (frozen || level.insideSelectList) break;
        // Glued to a word, a number or a '.' on either side (X'00', 1abc, 1.),
        // or followed by a cast: part of something else.
        bool glued =
            (begin > 0 && (isWordChar(statement[begin - 1]) || statement[begin - 1] == '.' ||
                           statement[begin - 1] == '\'')) ||
            (end < statement.size() && (isWordChar(statement[end]) || statement[end] == '.' ||
                                        statement[end] == '\'' || statement[end] == ':'));
        if (glued ||
            (t.kind == TokenKind::Number && !plainNumber(t.text, style == Placeholder::Question)))
          break;
        bool value = level.selectList ? (isPunct(&*previous, ",") || isWord(*previous, "SELECT")) &&
                                            aliasedItem(statement, end)
                                      : operandPlace(&*previous);
        if (!value) break;
        if (out.values.size() == kMaxShapedValues) return std::nullopt;
        ExecArgument v;
        if (t.kind == TokenKind::Literal) {
          v.kind = ExecArgument::Kind::Text;
          v.value = literalValue(t.text);
        } else {
          v.kind = ExecArgument::Kind::Number;
          v.value = t.text;
        }
        out.values.push_back(std::move(v));
        out.shape.append(statement, copied, begin - copied);
        size_t at = out.shape.size();
        appendPlaceholder(out.shape, style, out.values.size());
        out.placeholders.emplace_back(at, out.shape.size() - at);
        copied = end;
        break;
      }
      default:
        break;
    }
    previous = t;
  }
  if (!previous) return std::nullopt;
  out.shape.append(statement, copied, std::string_view::npos);
  return out;
}

namespace {

// The two values most statements carry, read in place rather than as tokens.
// The length of a whole number of at most 18 digits starting at `pos`, which
// the tokenizer reads as that number token and the cut always takes; 0 for
// anything else (a decimal, an exponent, a longer number), left to the tokens.
size_t wholeNumberLength(std::string_view t, size_t pos) {
  size_t end = pos;
  while (end < t.size() && isDigit(t[end])) ++end;
  if (end == pos || end - pos > 18) return 0;
  if (end < t.size() && (t[end] == '.' || t[end] == 'e' || t[end] == 'E')) return 0;
  return end - pos;
}

// The length of a decimal "digits.digits" starting at `pos` that the cut
// takes with SQLite's reading (plainNumber's test, made in place): at most 15
// significant digits and 22 decimals, not zero, and read by SQLite as the
// nearest double; 0 for anything else, left to the tokens.
size_t sqliteDecimalLength(std::string_view t, size_t pos) {
  uint64_t whole = 0;
  int digits = 0;
  size_t i = pos;
  auto take = [&](char c) {
    if (whole == 0 && c == '0') return true;
    whole = whole * 10 + static_cast<uint64_t>(c - '0');
    return ++digits <= 15;
  };
  for (; i < t.size() && isDigit(t[i]); ++i)
    if (!take(t[i])) return 0;
  if (i == pos || i + 1 >= t.size() || t[i] != '.' || !isDigit(t[i + 1])) return 0;
  const size_t fraction = ++i;
  for (; i < t.size() && isDigit(t[i]); ++i)
    if (!take(t[i])) return 0;
  const size_t decimals = i - fraction;
  if (decimals > 22 || whole == 0) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == '.')) return 0;
  // Both operands are exact (whole below 2^53, 10^22 and less), so the
  // division rounds once to the nearest double.
  const double nearest = static_cast<double>(whole) / numtext::kExactTenPowers[decimals];
  if (readBySqlite(whole, static_cast<int>(decimals)) != nearest) return 0;
  return i - pos;
}

// The 'literal' starting at `pos`, as the tokenizer reads it: false when it
// has no closing quote; else its `length`, quotes included, and whether a
// doubled quote stands inside.
bool closedLiteral(std::string_view t, size_t pos, size_t& length, bool& doubled) {
  size_t at = pos + 1;
  doubled = false;
  for (;;) {
    const void* quote = std::memchr(t.data() + at, '\'', t.size() - at);
    if (!quote) return false;
    at = static_cast<size_t>(static_cast<const char*>(quote) - t.data());
    if (at + 1 < t.size() && t[at + 1] == '\'') {
      doubled = true;
      at += 2;
      continue;
    }
    length = at + 1 - pos;
    return true;
  }
}

}  // namespace

ShapeForm::ShapeForm(const Shaped& shaped, Placeholder style)
    : sqliteReading_(style == Placeholder::Question) {
  // Two values with nothing between them would be judged by each other's
  // characters; no cut makes that, but such a shape gets no form.
  size_t from = 0;
  for (size_t i = 0; i < shaped.placeholders.size(); ++i) {
    auto [at, size] = shaped.placeholders[i];
    if (i > 0 && at == from) {
      fixed_.clear();
      ends_.clear();
      return;
    }
    fixed_.append(shaped.shape, from, at - from);
    ends_.push_back(fixed_.size());
    from = at + size;
  }
  fixed_.append(shaped.shape, from, std::string::npos);
  ends_.push_back(fixed_.size());
}

bool ShapeForm::cut(std::string_view statement, std::vector<ExecArgument>& values) const {
  if (ends_.empty()) return false;
  const size_t count = ends_.size() - 1;
  if (values.size() != count) values.resize(count);
  size_t pos = 0, pieceBegin = 0;
  for (size_t i = 0;; ++i) {
    const size_t pieceSize = ends_[i] - pieceBegin;
    if (statement.size() - pos < pieceSize ||
        std::memcmp(statement.data() + pos, fixed_.data() + pieceBegin, pieceSize) != 0)
      return false;
    pos += pieceSize;
    pieceBegin = ends_[i];
    if (i == count) return pos == statement.size();
    if (pos == statement.size()) return false;
    // The value must be one the cut takes out here: a whole literal without a
    // NUL, or a number a bound value carries exactly. What stands around it
    // is the shape's own text, so its place was judged already.
    ExecArgument& v = values[i];
    size_t length = wholeNumberLength(statement, pos);
    if (!length && sqliteReading_) length = sqliteDecimalLength(statement, pos);
    if (length) {
      v.kind = ExecArgument::Kind::Number;
      v.value.assign(statement.data() + pos, length);
      pos += length;
      continue;
    }
    if (statement[pos] == '\'') {
      size_t length = 0;
      bool doubled = false;
      if (!closedLiteral(statement, pos, length, doubled)) return false;
      std::string_view inner = statement.substr(pos + 1, length - 2);
      if (std::memchr(inner.data(), '\0', inner.size())) return false;
      v.kind = ExecArgument::Kind::Text;
      if (doubled)
        v.value = literalValue(statement.substr(pos, length));
      else
        v.value.assign(inner);
      pos += length;
      continue;
    }
    Token t = tokenAt(statement, pos);
    if (t.kind == TokenKind::Literal) {
      if (!literalClosed(t.text) || t.text.find('\0') != std::string_view::npos) return false;
      v.kind = ExecArgument::Kind::Text;
      std::string_view inner = t.text.substr(1, t.text.size() - 2);
      if (inner.find('\'') == std::string_view::npos)
        v.value.assign(inner);
      else
        v.value = literalValue(t.text);
    } else if (t.kind == TokenKind::Number && plainNumber(t.text, sqliteReading_)) {
      v.kind = ExecArgument::Kind::Number;
      v.value.assign(t.text);
    } else {
      return false;
    }
    pos += t.text.size();
  }
}

}  // namespace z418kt::data::sql
