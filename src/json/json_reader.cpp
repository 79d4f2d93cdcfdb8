#include "json/json_reader.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <unordered_map>
#include <vector>

#include "automation/utf8.h"

namespace z418kt::json {

namespace {

// An object with more members than this finds a repeated key through an
// index: a hostile object with a million keys costs linear time, not square.
constexpr size_t kIndexedMembers = 16;

class Reader {
 public:
  Reader(std::string_view text, const RequestLimits& limits) : text_(text), limits_(limits) {}

  Json read() {
    Json root;
    if (!text_.empty() && static_cast<unsigned char>(text_[0]) == 0xEF) {
      if (text_.substr(0, 3) != "\xEF\xBB\xBF") fail("a broken byte order mark");
      pos_ = 3;
    }
    valueInto(nullptr, &root);
    while (!open_.empty()) {
      Open& top = open_.back();
      char close = top.array ? ']' : '}';
      if (top.fresh) {  // just opened: empty, or its first member
        top.fresh = false;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == close) {
          ++pos_;
          open_.pop_back();
        } else {
          valueInto(&top, nullptr);
        }
        continue;
      }
      char c = next(top.array ? "',' or ']'" : "',' or '}'");
      if (c == ',') {
        valueInto(&top, nullptr);
      } else if (c == close) {
        open_.pop_back();
      } else {
        fail(top.array ? "expected ',' or ']'" : "expected ',' or '}'", pos_ - 1);
      }
    }
    skipSpace();
    // A NUL byte ends the text, as the terminator of a C string would.
    if (pos_ != text_.size() && text_[pos_] != '\0') fail("text after the end of the value");
    return root;
  }

 private:
  // An array or object being read, and for an object its index by key once
  // it has many members.
  struct Open {
    Json* container;
    bool array;
    bool fresh = true;  // nothing read after its opening bracket yet
    std::unordered_map<std::string, size_t> index;
  };

  [[noreturn]] void fail(const std::string& what, size_t at) const {
    throw RequestError(kMalformedRequest,
                       "malformed JSON: " + what + " at byte " + std::to_string(at));
  }
  [[noreturn]] void fail(const std::string& what) const { fail(what, pos_); }

  void skipSpace() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++pos_;
    }
  }

  char next(const char* expected) {
    skipSpace();
    if (pos_ == text_.size()) fail(std::string("unexpected end of text; expected ") + expected);
    return text_[pos_++];
  }

  // Reads one value into `root` (the whole text) or as the next member of
  // `parent` (for an object, its key comes first); an array or object is only
  // opened here.
  void valueInto(Open* parent, Json* root) {
    std::string key;
    if (parent && !parent->array) {
      if (next("a key") != '"') fail("expected a key in quotes", pos_ - 1);
      key = stringBody();
      if (next("':'") != ':') fail("expected ':'", pos_ - 1);
    }
    char c = next("a value");
    if (c == '[' || c == '{') {
      counted(parent);
      if (open_.size() >= limits_.maxDepth)
        throw RequestError(kNestingTooDeep, "the request nests arrays and objects deeper than " +
                                                std::to_string(limits_.maxDepth) + " levels");
      Json& slot = slotFor(parent, root, std::move(key));
      slot = c == '[' ? Json::array() : Json::object();
      // Room for a request's members or a typed value's, without regrowing.
      if (c == '{') slot.get_ref<Json::object_t&>().reserve(8);
      // Its members are read by read()'s loop, not by recursion.
      open_.push_back(Open{&slot, c == '[', true, {}});
      return;
    }
    Json value = scalar(c);
    counted(parent);
    slotFor(parent, root, std::move(key)) = std::move(value);
  }

  // Counts a value that goes into an array.
  void counted(const Open* parent) {
    if (parent && parent->array && ++elements_ > limits_.maxArrayElements)
      throw RequestError(kTooManyElements, "the request holds more than " +
                                               std::to_string(limits_.maxArrayElements) +
                                               " array elements");
  }

  Json& slotFor(Open* parent, Json* root, std::string key) {
    if (!parent) return *root;
    if (parent->array) return parent->container->emplace_back();
    auto& members = parent->container->get_ref<Json::object_t&>();
    if (members.size() < kIndexedMembers) return members[std::move(key)];
    if (parent->index.empty())
      for (size_t k = 0; k < members.size(); ++k)
        parent->index.emplace(members.begin()[k].first, k);
    auto [it, added] = parent->index.emplace(key, members.size());
    if (!added) return members.begin()[it->second].second;
    return members.emplace_back(std::move(key), Json()).second;
  }

  Json scalar(char c) {
    size_t start = pos_ - 1;
    switch (c) {
      case '"':
        return Json(stringBody());
      case 't':
        literal(start, "true");
        return Json(true);
      case 'f':
        literal(start, "false");
        return Json(false);
      case 'n':
        literal(start, "null");
        return Json();
      default:
        if (c == '-' || (c >= '0' && c <= '9')) return number(start);
        fail("unexpected character", start);
    }
  }

  void literal(size_t start, std::string_view word) {
    if (text_.substr(start, word.size()) != word) fail("invalid literal", start);
    pos_ = start + word.size();
  }

  bool digitAt(size_t at) const {
    return at < text_.size() && text_[at] >= '0' && text_[at] <= '9';
  }
  size_t digitsFrom(size_t at) const {
    while (digitAt(at)) ++at;
    return at;
  }

  Json number(size_t start) {
    size_t at = start + (text_[start] == '-');
    if (!digitAt(at)) fail("a number needs digits", start);
    at = text_[at] == '0' ? at + 1 : digitsFrom(at);
    bool whole = true;
    if (at < text_.size() && text_[at] == '.') {
      if (!digitAt(at + 1)) fail("a number needs digits after '.'", start);
      at = digitsFrom(at + 1);
      whole = false;
    }
    if (at < text_.size() && (text_[at] == 'e' || text_[at] == 'E')) {
      ++at;
      if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) ++at;
      if (!digitAt(at)) fail("a number needs digits in its exponent", start);
      at = digitsFrom(at);
      whole = false;
    }
    pos_ = at;
    const char* first = text_.data() + start;
    const char* last = text_.data() + at;
    if (whole) {
      if (*first == '-') {
        Json::number_integer_t n;
        if (std::from_chars(first, last, n).ec == std::errc()) return Json(n);
      } else {
        Json::number_unsigned_t n;
        if (std::from_chars(first, last, n).ec == std::errc()) return Json(n);
      }
    }
    double d = 0;
    auto [end, ec] = std::from_chars(first, last, d);
    if (ec == std::errc::result_out_of_range) {
      if (!tiny(std::string_view(first, static_cast<size_t>(last - first))))
        fail("number beyond the range of a double", start);
      d = *first == '-' ? -0.0 : 0.0;  // as strtod rounds it
    } else if (ec != std::errc() || end != last) {
      fail("unreadable number", start);
    }
    return Json(d);
  }

  // Whether a number out of the double range is so small that it rounds to zero
  // (rather than so large it has no value): its first significant digit is
  // before or after the decimal point by its exponent.
  static bool tiny(std::string_view number) {
    size_t e = number.find_first_of("eE");
    std::string_view mantissa = number.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
      std::string_view digits = number.substr(e + 1);
      bool negative = !digits.empty() && digits[0] == '-';
      if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
      // Beyond this the sign alone decides.
      for (char ch : digits) exponent = std::min<long long>(exponent * 10 + (ch - '0'), 1LL << 40);
      if (negative) exponent = -exponent;
    }
    size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    size_t significant = whole.find_first_of("123456789");
    if (significant != std::string_view::npos)
      return static_cast<long long>(whole.size() - significant) + exponent <= 0;
    size_t zeros =
        point == std::string_view::npos ? 0 : mantissa.substr(point + 1).find_first_of("123456789");
    return exponent - static_cast<long long>(zeros) <= 0;
  }

  // The text of a string whose opening quote was read; leaves pos_ after its end.
  std::string stringBody() {
    std::string out;
    size_t plain = pos_;  // where the bytes not yet copied begin
    while (true) {
      if (pos_ >= text_.size()) fail("a string without its closing quote");
      auto byte = static_cast<unsigned char>(text_[pos_]);
      if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
        ++pos_;
        continue;
      }
      if (byte >= 0x80) {
        char32_t codePoint;
        size_t length = utf8::sequenceAt(text_, pos_, codePoint);
        if (length == 0) fail("ill-formed UTF-8 in a string");
        pos_ += length;
        continue;
      }
      out.append(text_.substr(plain, pos_ - plain));
      if (byte == '"') {
        ++pos_;
        return out;
      }
      if (byte < 0x20) fail("a control character in a string must be escaped");
      escape(out);
      plain = pos_;
    }
  }

  // Appends the escape sequence at pos_ (a backslash) and reads past it.
  void escape(std::string& out) {
    size_t start = pos_++;
    if (pos_ >= text_.size()) fail("a string without its closing quote");
    char c = text_[pos_++];
    switch (c) {
      case '"':
      case '\\':
      case '/':
        out += c;
        return;
      case 'b':
        out += '\b';
        return;
      case 'f':
        out += '\f';
        return;
      case 'n':
        out += '\n';
        return;
      case 'r':
        out += '\r';
        return;
      case 't':
        out += '\t';
        return;
      case 'u':
        break;
      default:
        fail("an unknown escape sequence", start);
    }
    char32_t unit = hex4(start);
    if (unit >= 0xDC00 && unit <= 0xDFFF) fail("a low surrogate without its high one", start);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (text_.substr(pos_, 2) != "\\u") fail("a high surrogate without its low one", start);
      pos_ += 2;
      char32_t low = hex4(start);
      if (low < 0xDC00 || low > 0xDFFF) fail("a high surrogate without its low one", start);
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    utf8::append(out, unit);
  }

  char32_t hex4(size_t start) {
    char32_t value = 0;
    for (int k = 0; k < 4; ++k, ++pos_) {
      char c = pos_ < text_.size() ? text_[pos_] : '\0';
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (digit < 0) fail("\\u needs four hexadecimal digits", start);
      value = value * 16 + static_cast<char32_t>(digit);
    }
    return value;
  }

  std::string_view text_;
  const RequestLimits& limits_;
  size_t pos_ = 0;
  std::vector<Open> open_;
  size_t elements_ = 0;
};

}  // namespace

Json readJson(std::string_view text, const RequestLimits& limits) {
  return Reader(text, limits).read();
}

}  // namespace z418kt::json
