// A small tokenizer of SQL texts and the rewrites that engines without
// Oracle's or SQL Server's syntax need, shared by every dialect adapter.
//
// The tokenizer splits words, 'string literals' ('' inside a literal is one
// quote), "quoted names", $tag$ dollar-quoted bodies $tag$, numbers, comments
// (-- to the end of the line and /* ... */), blanks and single punctuation
// characters. Concatenating the
// tokens' texts gives the input back exactly. Nothing inside a literal, a
// quoted name or a comment is ever rewritten. An unterminated literal runs to
// the end of the text (the engine then reports the syntax error itself).
//
// Nothing here knows a particular engine: adapters choose the replacement
// texts and how procedure calls are run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace z418kt::data::sql {

enum class TokenKind { Word, Number, Literal, DollarQuoted, QuotedName, Comment, Blank, Punct };

struct Token {
  TokenKind kind;
  std::string_view text;  // a view into the tokenized text
};

std::vector<Token> tokenize(std::string_view text);

// Case-insensitive comparison of ASCII words.
bool sameWord(std::string_view a, std::string_view b);

// The content of a 'literal' token: quotes removed, '' turned into '.
std::string literalValue(std::string_view literalToken);

// Replaces every whole word `word` (ignoring case) outside literals, quoted
// names and comments by `replacement`. A word written after '.' (a column
// qualified by its table) is left alone.
std::string replaceWord(std::string_view text, std::string_view word, std::string_view replacement);

// "DELETE table WHERE ..." becomes "DELETE FROM table WHERE ..."; any other
// text (a DELETE that has FROM, or another statement) comes back unchanged.
std::string addDeleteFrom(std::string_view text);

// Splits a script into its statements at each ';' outside literals, quoted
// names, dollar-quoted bodies and comments. Statements come back without the
// ';' and trimmed of blanks; empty ones (only blanks or comments) are dropped.
// A CREATE [TEMP] TRIGGER statement runs to the END of its body.
std::vector<std::string> splitStatements(std::string_view script);

// One argument of a procedure call, as written in the call text.
struct ExecArgument {
  enum class Kind { Null, Number, Text };
  Kind kind = Kind::Null;
  std::string value;  // Number: the digits as written (sign included); Text: the unquoted text
};

struct ExecCall {
  std::string procedure;  // as written, e.g. "SP_KTR_INC_CARGA_awb" or "dbo.SP_X"
  std::vector<ExecArgument> arguments;
};

// Recognises "EXEC name [arg {, arg}]" (blanks and a final ';' allowed; EXECUTE
// too). Arguments are literals only: NULL, a number with an optional sign, or
// a 'text'. Returns nothing when the text is not a procedure call at all;
// `error` then stays empty. A text that begins with EXEC but whose arguments
// are not plain literals also returns nothing, with `error` describing why.
std::optional<ExecCall> parseExec(std::string_view text, std::string& error);

// The common form of a procedure call read in one pass, without a token
// list: "EXEC[UTE] name[.name...] [arg {, arg}] [;]" with only blanks between
// its parts and arguments NULL, 'text' or a number with an optional sign
// glued to it. True when `text` has that form: `call` then holds what
// parseExec would give, its strings keeping their room from one call to the
// next. False for anything else (comments, quoted names, blanks around a '.',
// a malformed call, no call at all): parseExec or adaptStatement then decide
// what the text is, and give the error.
bool readPlainExec(std::string_view text, ExecCall& call);

// What a dialect adapter needs of one statement, from a single pass of the
// tokenizer: the procedure call when it is one (parseExec), or else the
// statement with `now` in place of SYSDATE (replaceWord) and the FROM that
// "DELETE table" lacks (addDeleteFrom). `error` tells why an EXEC could not
// be read; `text` is then empty.
struct Adapted {
  std::optional<ExecCall> call;
  std::string text;
  std::string error;
};
Adapted adaptStatement(std::string_view statement, std::string_view now);
// Whether adaptStatement could change the statement at all: it opens with a
// comment or with EXEC, EXECUTE or DELETE, or SYSDATE appears anywhere in it.
// Most statements do neither, and are spared the tokenizer (and a copy).
bool mayNeedRewrite(std::string_view statement);
// Whether the text's first word (after blanks) begins with EXEC, in any case:
// a quick test that spares procedure calls a look for a statement shape.
bool opensWithExec(std::string_view statement);

// A plain statement cut into the form that statements differing only in their
// values share, and those values, so the form is prepared once and the values
// bound. Only values whose place the engine treats alike whether written or
// bound are cut out: 'text' literals and plain numbers (whole numbers within
// 64 bits, decimals that a double holds exactly but zero) in comparisons,
// arithmetic, argument
// lists, IN lists, VALUES and SET; in a select list only a value that is the
// whole item and has an alias (its column is named by the alias either way).
// Everything else stays in the form: NULL, values after ORDER BY or GROUP BY
// (a number there names a column), typed literals (DATE '...'), anything
// glued to a word or a cast. Values keep the kind the literal had (Text, or
// Number with the digits as written), so the binder gives them the literal's
// type.
struct Shaped {
  std::string shape;                 // each value replaced by a numbered placeholder
  std::vector<ExecArgument> values;  // placeholder n is values[n - 1]
  // Where each placeholder sits in `shape`: its first character and length.
  std::vector<std::pair<size_t, size_t>> placeholders;
};
// ?1 (SQLite) or $1 (PostgreSQL). On SQLite a decimal literal is also cut out
// when SQLite itself reads it as the double the bound value carries (see
// plainNumber in the source); PostgreSQL's are cut only when a double holds
// them exactly.
enum class Placeholder { Question, Dollar };
inline constexpr size_t kMaxShapedValues = 999;
// Nothing when sharing the statement's form is not safe: it is not a SELECT,
// INSERT, UPDATE or DELETE, it holds a NUL, a placeholder of its own or an
// unterminated literal, or more than kMaxShapedValues values. A statement
// without values comes back whole as its own shape.
std::optional<Shaped> shapeStatement(std::string_view statement, Placeholder style);

// A shape as the fixed texts between its placeholders, to recognise further
// statements of that shape without running the tokenizer over all of them:
// a statement of the form of pieces[0] value pieces[1] ... value pieces[n],
// with each value a literal or number that shapeStatement would cut out
// there, has exactly that shape and those values (the tokenizer reads the
// fixed texts the same way whatever values stand between them).
class ShapeForm {
 public:
  ShapeForm() = default;
  // `style` as the shape was made with.
  ShapeForm(const Shaped& shaped, Placeholder style);

  // True when `statement` has this form; `values` are then its values, as
  // shapeStatement gives them. `values` is reused: its strings keep their
  // room from one statement to the next.
  bool cut(std::string_view statement, std::vector<ExecArgument>& values) const;

 private:
  std::string fixed_;         // the pieces one after another
  std::vector<size_t> ends_;  // where each piece ends in fixed_; empty: no form
  bool sqliteReading_ = false;
};

}  // namespace z418kt::data::sql
