// The C entry point: JSON request texts in, JSON answer texts out, through
// the same request code as `z418kt invoke` and `z418kt serve`.
#include "z418kt/z418kt_c.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

#include "json/request.h"
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

void z418kt_free(char* answer) { std::free(answer); }

const char* z418kt_version(void) { return Z418KT_VERSION; }
}
