#include "json/request.h"

#include <strings.h>

#include <exception>
#include <new>

#include "automation/connection_text.h"
#include "json/json_reader.h"

namespace z418kt::json {

namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// invntConecta_DB of the g... operations, instrConecta_DB of the m... ones.
bool isConnectionParameter(std::string_view name) {
  return name.size() >= 10 && sameName(name.substr(name.size() - 10), "Conecta_DB");
}

}  // namespace

Json parseRequestText(std::string_view text, const RequestLimits& limits) {
  if (text.size() > limits.maxBytes) throw tooLarge(text.size(), limits);
  return readJson(text, limits);
}

RequestError tooLarge(size_t bytes, const RequestLimits& limits) {
  return RequestError(kRequestTooLarge, "the request has " + std::to_string(bytes) +
                                            " bytes; at most " + std::to_string(limits.maxBytes) +
                                            " are accepted");
}

namespace {

// Finds the top-level "id" of a request without building it: stops at the
// first syntax error or once the id is read.
class IdFinder : public nlohmann::json_sax<Json> {
 public:
  Json id;
  bool found = false;

  bool null() override { return scalar(Json()); }
  bool boolean(bool v) override { return scalar(v); }
  bool number_integer(number_integer_t v) override { return scalar(v); }
  bool number_unsigned(number_unsigned_t v) override { return scalar(v); }
  bool number_float(number_float_t v, const string_t&) override { return scalar(v); }
  bool string(string_t& v) override { return scalar(v); }
  bool binary(binary_t&) override { return scalar(Json()); }
  bool start_object(std::size_t) override { return open(); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(); }
  bool end_array() override { return close(); }
  bool key(string_t& k) override {
    idNext_ = depth_ == 1 && k == "id";
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  bool scalar(Json v) {
    if (!idNext_) return true;
    id = std::move(v);
    found = true;
    return false;
  }
  bool open() {
    if (idNext_) return false;  // an id that is no scalar is not echoed
    ++depth_;
    return true;
  }
  bool close() {
    --depth_;
    return depth_ > 0;
  }
  size_t depth_ = 0;
  bool idNext_ = false;
};

}  // namespace

std::optional<Json> requestIdOf(std::string_view text) {
  IdFinder finder;
  try {
    Json::sax_parse(text.begin(), text.end(), &finder, nlohmann::detail::input_format_t::json,
                    false);
  } catch (const Json::exception&) {
    // whatever was read before the error is all there is
  }
  if (!finder.found) return std::nullopt;
  return finder.id;
}

const InterfaceEntry& operationFor(const Json& op) {
  const InterfaceEntry* entry = nullptr;
  if (op.is_string()) {
    entry = findOperation(std::string_view(op.get_ref<const std::string&>()));
  } else if (op.is_number_integer() || op.is_number_unsigned()) {
    int64_t id = op.get<int64_t>();
    if (id >= INT32_MIN && id <= INT32_MAX) entry = findOperation(static_cast<int32_t>(id));
  } else {
    throw RequestError(kMalformedRequest, "the operation must be a name or a dispatch identifier");
  }
  if (!entry) throw errors::unknownName();
  return *entry;
}

std::vector<Variant> argumentsFor(const InterfaceEntry& entry, const Json& args,
                                  const RequestLimits& limits) {
  std::vector<Variant> list;
  if (args.is_null()) {
    list.resize(entry.parameters.size());
  } else if (args.is_array()) {
    for (const Json& value : args) list.push_back(fromJson(value, limits));
  } else if (args.is_object()) {
    list.resize(entry.parameters.size());
    std::vector<bool> given(entry.parameters.size(), false);
    for (auto it = args.begin(); it != args.end(); ++it) {
      size_t k = 0;
      while (k < entry.parameters.size() && !sameName(entry.parameters[k], it.key())) ++k;
      if (k == entry.parameters.size())
        throw RequestError(kNamedArgumentNotFound, "Named argument not found: " + it.key());
      if (given[k])
        throw RequestError(kInvalidArgument,
                           "argument given twice: " + std::string(entry.parameters[k]));
      given[k] = true;
      list[k] = fromJson(it.value(), limits);
    }
  } else {
    throw RequestError(kMalformedRequest, "args must be a JSON array or object");
  }
  return list;
}

namespace {

// Runs one call and hands its answer to `ran` (entry, result, arguments) or
// to `failed` (error number, description); never throws past them.
template <class Ran, class Failed>
auto callAnswered(Z418kt& component, const Json& op, const Json& args, const RequestLimits& limits,
                  Ran ran, Failed failed) {
  try {
    const InterfaceEntry& entry = operationFor(op);
    std::vector<Variant> list = argumentsFor(entry, args, limits);
    Variant result = invoke(component, entry, list);
    return ran(entry, result, list);
  } catch (const AutomationError& e) {
    return failed(e.number, e.description);
  } catch (const Json::exception& e) {
    return failed(kMalformedRequest, e.what());
  } catch (const std::bad_alloc&) {
    return failed(7, "Out of memory");
  } catch (const std::exception& e) {
    return failed(kInvalidArgument, e.what());
  }
}

}  // namespace

Json answerCall(Z418kt& component, const Json& op, const Json& args, const RequestLimits& limits) {
  return callAnswered(component, op, args, limits, answerJson, errorAnswer);
}

std::string answerCallText(Z418kt& component, const Json& op, const Json& args,
                           const RequestLimits& limits) {
  return callAnswered(component, op, args, limits, answerText, errorAnswerText);
}

Json argumentsOfText(std::string_view text, const RequestLimits& limits) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return Json();
  Json parsed = parseRequestText(text, limits);
  if (parsed.is_object() && parsed.contains("args")) return parsed["args"];
  return parsed;
}

Json withConnection(const Json& op, Json args, const std::optional<std::string>& connection) {
  if (!connection || !(args.is_null() || args.is_object())) return args;
  const InterfaceEntry* entry = nullptr;
  try {
    entry = &operationFor(op);
  } catch (const AutomationError&) {
    return args;  // the call answers the unknown operation itself
  }
  std::string_view name = entry->parameters.at(0);
  if (args.is_null()) args = Json::object();
  for (auto it = args.begin(); it != args.end(); ++it)
    if (sameName(it.key(), name)) return args;
  args[std::string(name)] = *connection;
  return args;
}

namespace {

// Puts the request's id as the last member of the answer that begins at
// `start` in `out`.
void appendId(std::string& out, size_t start, const std::optional<Json>& id) {
  if (id && out.size() > start && out.back() == '}') {
    out.pop_back();
    out += ",\"id\":";
    out += dumpText(*id);
    out += '}';
  }
}

// The answer of a request (no id yet) appended to `out`.
void appendAnswer(std::string& out, Z418kt& component, Json& request,
                  const RequestOptions& options) {
  size_t start = out.size();
  auto failed = [&](int32_t number, const std::string& description) {
    out.resize(start);  // nothing of an answer cut short by a failure stays
    out += errorAnswerText(number, description);
  };
  // The request is taken apart, not copied: its arguments can be large.
  auto member = [&](const char* name) {
    return request.is_object() ? request.find(name) : request.end();
  };
  auto op = member("op");
  if (op == request.end())
    return failed(kMalformedRequest, "a request is an object {\"op\": ..., \"args\": ...}");
  auto given = member("args");
  Json args =
      withConnection(*op, given == request.end() ? Json() : std::move(*given), options.connection);
  auto ran = [&](const InterfaceEntry& entry, const Variant& result,
                 const std::vector<Variant>& list) { appendAnswerText(out, entry, result, list); };
  callAnswered(component, *op, args, options.limits, ran, failed);
}

}  // namespace

void appendRequestAnswer(std::string& out, Z418kt& component, std::string_view text,
                         const RequestOptions& options) {
  size_t start = out.size();
  Json request;
  try {
    request = parseRequestText(text, options.limits);
  } catch (const RequestError& e) {
    out += errorAnswerText(e.number, e.description);
    return appendId(out, start, requestIdOf(text));
  }
  std::optional<Json> id;
  if (auto it = request.is_object() ? request.find("id") : request.end(); it != request.end())
    id = std::move(*it);
  appendAnswer(out, component, request, options);
  appendId(out, start, id);
}

std::string answerRequestText(Z418kt& component, std::string_view text,
                              const RequestOptions& options) {
  std::string out;
  appendRequestAnswer(out, component, text, options);
  return out;
}

namespace {

// A client sends the same connection text with request after request: its
// masked form is worked out once per thread, not once per answer.
const std::string& maskedConnection(const std::string& text) {
  thread_local std::string lastText, lastMasked;
  if (lastMasked.empty() || text != lastText) {
    lastMasked = data::maskedPassword(text);
    lastText = text;
  }
  return lastMasked;
}

}  // namespace

namespace {

// What an answer writes before each argument of an operation, `"name":` with
// its comma, and which arguments are connection texts: worked out once per
// process for the operations of the interface table.
struct AnswerKeys {
  std::vector<std::string> keys;
  std::vector<bool> connection;
};

AnswerKeys answerKeysOf(const InterfaceEntry& entry) {
  AnswerKeys made;
  for (size_t k = 0; k < entry.parameters.size(); ++k) {
    std::string key = k ? "," : "";
    appendJsonText(key, entry.parameters[k]);
    key += ':';
    made.keys.push_back(std::move(key));
    made.connection.push_back(isConnectionParameter(entry.parameters[k]));
  }
  return made;
}

const AnswerKeys& answerKeys(const InterfaceEntry& entry, AnswerKeys& other) {
  static const std::vector<AnswerKeys> ofTable = [] {
    std::vector<AnswerKeys> all;
    for (const InterfaceEntry& e : interfaceTable()) all.push_back(answerKeysOf(e));
    return all;
  }();
  const std::vector<InterfaceEntry>& table = interfaceTable();
  if (&entry >= table.data() && &entry < table.data() + table.size())
    return ofTable[static_cast<size_t>(&entry - table.data())];
  return other = answerKeysOf(entry);
}

}  // namespace

void appendAnswerText(std::string& out, const InterfaceEntry& entry, const Variant& result,
                      const std::vector<Variant>& args) {
  AnswerKeys other;
  const AnswerKeys& layout = answerKeys(entry, other);
  out += "{\"result\":";
  appendJson(out, result);
  out += ",\"args\":{";
  for (size_t k = 0; k < args.size() && k < layout.keys.size(); ++k) {
    out += layout.keys[k];
    // Answers end up in logs: a connection text goes out without its password.
    if (layout.connection[k] && args[k].isText())
      appendJson(out, Variant(maskedConnection(args[k].text())));
    else
      appendJson(out, args[k]);
  }
  out += "}}";
}

std::string answerText(const InterfaceEntry& entry, const Variant& result,
                       const std::vector<Variant>& args) {
  std::string out;
  appendAnswerText(out, entry, result, args);
  return out;
}

Json answerJson(const InterfaceEntry& entry, const Variant& result,
                const std::vector<Variant>& args) {
  return Json::parse(answerText(entry, result, args));
}

Json errorAnswer(int32_t number, const std::string& description) {
  return Json{{"error", {{"number", number}, {"description", description}}}};
}

std::string errorAnswerText(int32_t number, const std::string& description) {
  return dumpText(errorAnswer(number, description));
}

bool isErrorAnswer(const Json& answer) { return answer.is_object() && answer.contains("error"); }

}  // namespace z418kt::json
