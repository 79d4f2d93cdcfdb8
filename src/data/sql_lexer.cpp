#include "data/sql_lexer.h"

#include <cctype>

namespace z418kt::data::sql {

namespace {

bool isWordStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool isWordChar(char c) {
  return isWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '#';
}
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

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

std::vector<Token> tokenize(std::string_view t) {
  std::vector<Token> tokens;
  size_t pos = 0;
  while (pos < t.size()) {
    char c = t[pos];
    TokenKind kind;
    size_t len = 1;
    if (isBlank(c)) {
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
    } else if (isWordStart(c)) {
      kind = TokenKind::Word;
      while (pos + len < t.size() && isWordChar(t[pos + len])) ++len;
    } else {
      kind = TokenKind::Punct;
    }
    tokens.push_back({kind, t.substr(pos, len)});
    pos += len;
  }
  return tokens;
}

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
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

std::optional<ExecCall> parseExecTokens(const std::vector<Token>& all, std::string& error);

// `upperWord` (ASCII capitals) anywhere in `text`, ignoring case.
bool containsIgnoringCase(std::string_view text, std::string_view upperWord) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (size_t i = 0; i + upperWord.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < upperWord.size() && upper(text[i + k]) == upperWord[k]) ++k;
    if (k == upperWord.size()) return true;
  }
  return false;
}

// Whether adaptStatement could change the statement at all: it opens with a
// comment or with EXEC, EXECUTE or DELETE, or SYSDATE appears anywhere in it.
// Most statements do neither, and are spared the tokenizer.
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

}  // namespace

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
  auto tokens = tokenize(statement);
  out.call = parseExecTokens(tokens, out.error);
  if (!out.call && out.error.empty())
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

std::optional<ExecCall> parseExec(std::string_view text, std::string& error) {
  return parseExecTokens(tokenize(text), error);
}

namespace {

std::optional<ExecCall> parseExecTokens(const std::vector<Token>& all, std::string& error) {
  error.clear();
  auto tokens = significant(all);
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
