// The C entry point: JSON request texts in, JSON answer texts out, through
// the same request code as `z418kt invoke` and `z418kt serve`.
#include "z418kt/z418kt_c.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>

#include "export/resource_json.h"
#include "json/request.h"
#include "z418kt/coletas.h"
#include "z418kt/database.h"
#include "z418kt/z418kt.h"

struct z418kt_component {
  z418kt::Z418kt component;
};

namespace {

using z418kt::json::Json;

// Visual Basic's "Object variable or With block variable not set".
constexpr int32_t kNoObject = 91;
constexpr std::string_view kOutOfMemory = R"({"error":{"number":7,"description":"Out of memory"}})";

char* copyOut(std::string_view text) noexcept {
  auto* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (!out) return nullptr;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

// Runs `produce` (an answer text) and hands its answer over as a C text. An error raised on
// the way becomes the error answer, so nothing is thrown across C frames.
template <class Produce>
char* answered(Produce produce) noexcept {
  // A JSON tree would convert to a string silently, and fail when it runs.
  static_assert(std::is_same_v<decltype(produce()), std::string>);
  try {
    std::string answer;
    try {
      answer = produce();
    } catch (const z418kt::AutomationError& e) {
      answer = z418kt::json::errorAnswerText(e.number, e.description);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      answer = z418kt::json::errorAnswerText(z418kt::json::kInvalidArgument, e.what());
    }
    return copyOut(answer);
  } catch (const std::exception&) {
    return copyOut(kOutOfMemory);  // only allocation can fail past this point
  }
}

std::string_view textOf(const char* text) { return text ? std::string_view(text) : ""; }

std::string noComponent() {
  return z418kt::json::errorAnswerText(kNoObject, "Object variable or With block variable not set");
}

// ----- the typed front door -----

z418kt::FrontDoor doorOf(z418kt_component* component, const char* connection, const char* dialect) {
  return z418kt::FrontDoor(component->component,
                           {std::string(textOf(connection)),
                            dialect ? std::string(dialect) : z418kt::kProcedureKind, 0});
}

const char* statusName(z418kt::Status status) {
  switch (status) {
    case z418kt::Status::Done:
      return "done";
    case z418kt::Status::NotFound:
      return "not_found";
    case z418kt::Status::Refused:
      return "refused";
    case z418kt::Status::Conflict:
      return "conflict";
    case z418kt::Status::Unavailable:
      return "unavailable";
    case z418kt::Status::Failed:
      break;
  }
  return "failed";
}

template <class T, class Value>
std::string typedAnswer(const z418kt::Result<T>& r, Value&& value) {
  Json j = {{"status", statusName(r.status)}};
  if (r.ok()) {
    j["valor"] = value(r.value);
  } else {
    j["mensagem"] = r.message;
    if (r.status == z418kt::Status::Refused) j["erros"] = z418kt::resource::errorsJson(r.errors);
  }
  if (r.replayed) j["repetida"] = true;
  return z418kt::json::dumpText(j);
}

Json objectOf(const char* text) {
  std::string_view t = textOf(text);
  if (t.empty()) return Json::object();
  Json j = z418kt::json::parseRequestText(t);
  if (!j.is_object())
    throw z418kt::AutomationError(z418kt::json::kInvalidArgument, "Expected a JSON object.");
  return j;
}

// A refusal for a body that is no Coleta, in the answer's own shape.
template <class Call>
std::string withColeta(const char* text, Call&& call) {
  z418kt::Coleta coleta;
  try {
    coleta = z418kt::resource::coletaFromJson(objectOf(text));
  } catch (const z418kt::resource::BodyError& e) {
    z418kt::Result<z418kt::Coleta> r;
    r.status = z418kt::Status::Refused;
    r.message = e.errors.front().mensagem;
    r.errors = e.errors;
    return typedAnswer(r, z418kt::resource::coletaJson);
  }
  return call(coleta);
}

std::optional<int64_t> wholeOf(const Json& j, const char* name) {
  if (!j.contains(name) || j[name].is_null()) return std::nullopt;
  if (!j[name].is_number_integer())
    throw z418kt::AutomationError(z418kt::json::kInvalidArgument,
                                  std::string(name) + " must be a whole number.");
  return j[name].get<int64_t>();
}

std::string textIn(const Json& j, const char* name) {
  if (!j.contains(name) || j[name].is_null()) return {};
  if (!j[name].is_string())
    throw z418kt::AutomationError(z418kt::json::kInvalidArgument,
                                  std::string(name) + " must be a text.");
  return j[name].get<std::string>();
}

}  // namespace

extern "C" {

z418kt_component* z418kt_create(void) { return new (std::nothrow) z418kt_component(); }

void z418kt_destroy(z418kt_component* component) { delete component; }

char* z418kt_call(z418kt_component* component, const char* operation, const char* request) {
  return answered([&] {
    if (!component) return noComponent();
    if (!operation) throw z418kt::errors::unknownName();
    return z418kt::json::answerCallText(component->component, Json(operation),
                                        z418kt::json::argumentsOfText(textOf(request)));
  });
}

char* z418kt_call_dispid(z418kt_component* component, int32_t dispid, const char* request) {
  return answered([&] {
    if (!component) return noComponent();
    return z418kt::json::answerCallText(component->component, Json(dispid),
                                        z418kt::json::argumentsOfText(textOf(request)));
  });
}

char* z418kt_request(z418kt_component* component, const char* request) {
  return answered([&] {
    if (!component) return noComponent();
    return z418kt::json::answerRequestText(component->component, textOf(request));
  });
}

char* z418kt_init_database(const char* connection, int with_demo) {
  return answered([&] {
    z418kt::initDatabase(std::string(textOf(connection)), with_demo != 0);
    return std::string(R"({"result":{"vt":"BOOL","value":true}})");
  });
}

char* z418kt_coleta_get(z418kt_component* component, const char* connection, const char* dialect,
                        int64_t id) {
  return answered([&] {
    if (!component) return noComponent();
    return typedAnswer(doorOf(component, connection, dialect).get(id),
                       z418kt::resource::coletaJson);
  });
}

char* z418kt_coleta_create(z418kt_component* component, const char* connection, const char* dialect,
                           const char* coleta, const char* idempotency_key) {
  return answered([&] {
    if (!component) return noComponent();
    return withColeta(coleta, [&](const z418kt::Coleta& c) {
      return typedAnswer(
          doorOf(component, connection, dialect).create(c, std::string(textOf(idempotency_key))),
          z418kt::resource::coletaJson);
    });
  });
}

char* z418kt_coleta_update(z418kt_component* component, const char* connection, const char* dialect,
                           int64_t id, const char* coleta) {
  return answered([&] {
    if (!component) return noComponent();
    return withColeta(coleta, [&](const z418kt::Coleta& c) {
      return typedAnswer(doorOf(component, connection, dialect).update(id, c),
                         z418kt::resource::coletaJson);
    });
  });
}

char* z418kt_coleta_remove(z418kt_component* component, const char* connection, const char* dialect,
                           int64_t id) {
  return answered([&] {
    if (!component) return noComponent();
    return typedAnswer(doorOf(component, connection, dialect).remove(id),
                       [](const z418kt::Nothing&) { return Json(nullptr); });
  });
}

char* z418kt_coleta_list(z418kt_component* component, const char* connection, const char* dialect,
                         const char* filter) {
  return answered([&] {
    if (!component) return noComponent();
    Json f = objectOf(filter);
    z418kt::ColetaFilter cf;
    cf.cliente_id = wholeOf(f, "cliente_id");
    cf.remetente_id = wholeOf(f, "remetente_id");
    cf.destinatario_id = wholeOf(f, "destinatario_id");
    cf.desde = textIn(f, "desde");
    cf.ate = textIn(f, "ate");
    cf.limite = static_cast<int32_t>(
        std::clamp<int64_t>(wholeOf(f, "limite").value_or(cf.limite), 0, z418kt::kMaxPage + 1));
    cf.cursor = textIn(f, "cursor");
    return typedAnswer(doorOf(component, connection, dialect).list(cf),
                       z418kt::resource::coletaPageJson);
  });
}

char* z418kt_pessoa_get(z418kt_component* component, const char* connection, const char* dialect,
                        int64_t endereco_id) {
  return answered([&] {
    if (!component) return noComponent();
    return typedAnswer(doorOf(component, connection, dialect).pessoa(endereco_id),
                       z418kt::resource::pessoaJson);
  });
}

char* z418kt_pessoa_search(z418kt_component* component, const char* connection, const char* dialect,
                           const char* filter) {
  return answered([&] {
    if (!component) return noComponent();
    Json f = objectOf(filter);
    z418kt::PessoaQuery q;
    q.q = textIn(f, "q");
    q.limite = static_cast<int32_t>(
        std::clamp<int64_t>(wholeOf(f, "limite").value_or(q.limite), 0, z418kt::kMaxPage + 1));
    q.cursor = textIn(f, "cursor");
    return typedAnswer(doorOf(component, connection, dialect).search(q),
                       z418kt::resource::pessoaPageJson);
  });
}

void z418kt_free(char* answer) { std::free(answer); }

const char* z418kt_version(void) { return Z418KT_VERSION; }
}
