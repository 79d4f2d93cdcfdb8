#include "json/request.h"

#include <strings.h>

#include <exception>
#include <new>

namespace z418kt::json {

namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

Json parseRequestText(std::string_view text) {
  try {
    return Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    throw RequestError(kMalformedRequest, std::string("malformed JSON: ") + e.what());
  }
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

std::vector<Variant> argumentsFor(const InterfaceEntry& entry, const Json& args) {
  std::vector<Variant> list;
  if (args.is_null()) {
    list.resize(entry.parameters.size());
  } else if (args.is_array()) {
    for (const Json& value : args) list.push_back(fromJson(value));
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
      list[k] = fromJson(it.value());
    }
  } else {
    throw RequestError(kMalformedRequest, "args must be a JSON array or object");
  }
  return list;
}

Json answerCall(Z418kt& component, const Json& op, const Json& args) {
  try {
    const InterfaceEntry& entry = operationFor(op);
    std::vector<Variant> list = argumentsFor(entry, args);
    Variant result = invoke(component, entry, list);
    return answerJson(entry, result, list);
  } catch (const AutomationError& e) {
    return errorAnswer(e.number, e.description);
  } catch (const Json::exception& e) {
    return errorAnswer(kMalformedRequest, e.what());
  } catch (const std::bad_alloc&) {
    return errorAnswer(7, "Out of memory");
  } catch (const std::exception& e) {
    return errorAnswer(kInvalidArgument, e.what());
  }
}

Json argumentsOfText(std::string_view text) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return Json();
  Json parsed = parseRequestText(text);
  if (parsed.is_object() && parsed.contains("args")) return parsed["args"];
  return parsed;
}

Json answerRequestText(Z418kt& component, std::string_view text) {
  Json request;
  try {
    request = parseRequestText(text);
  } catch (const RequestError& e) {
    return errorAnswer(e.number, e.description);
  }
  if (!request.is_object() || !request.contains("op"))
    return errorAnswer(kMalformedRequest, "a request is an object {\"op\": ..., \"args\": ...}");
  Json args = request.contains("args") ? request["args"] : Json();
  Json answer = answerCall(component, request["op"], args);
  if (request.contains("id")) answer["id"] = request["id"];
  return answer;
}

Json answerJson(const InterfaceEntry& entry, const Variant& result,
                const std::vector<Variant>& args) {
  Json named = Json::object();
  for (size_t k = 0; k < args.size() && k < entry.parameters.size(); ++k)
    named[std::string(entry.parameters[k])] = toJson(args[k]);
  return Json{{"result", toJson(result)}, {"args", std::move(named)}};
}

Json errorAnswer(int32_t number, const std::string& description) {
  return Json{{"error", {{"number", number}, {"description", description}}}};
}

bool isErrorAnswer(const Json& answer) { return answer.is_object() && answer.contains("error"); }

}  // namespace z418kt::json
