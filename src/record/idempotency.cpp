#include "record/idempotency.h"

#include <chrono>
#include <cstdio>

#include "automation/number_text.h"
#include "data/recordset.h"
#include "z418kt/variant.h"

namespace z418kt::record {

namespace {

// Quotes are not among the characters a key may hold; doubled all the same.
std::string literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string utcText(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  auto days = floor<std::chrono::days>(when);
  year_month_day ymd(days);
  hh_mm_ss hms(floor<seconds>(when - days));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d", int(ymd.year()),
                unsigned(ymd.month()), unsigned(ymd.day()), int(hms.hours().count()),
                int(hms.minutes().count()), int(hms.seconds().count()));
  return buffer;
}

std::string cutoff() {
  return utcText(std::chrono::system_clock::now() - std::chrono::hours(kIdempotencyHours));
}

void run(const std::string& sql, const std::string& connection, data::Recordset& rs) {
  rs.setCursorLocation(data::adUseClient);
  rs.open(sql, connection, data::adOpenStatic, data::adLockReadOnly, data::adUnspecified);
}

void field(std::string& canonical, const std::string& text) {
  canonical += numtext::integerText(static_cast<int64_t>(text.size()));
  canonical += ':';
  canonical += text;
}

void field(std::string& canonical, const std::optional<int64_t>& v) {
  field(canonical, v ? numtext::integerText(*v) : std::string("-"));
}

void field(std::string& canonical, const std::optional<Decimal>& v) {
  field(canonical, v ? v->text() : std::string("-"));
}

}  // namespace

std::string keyProblem(const std::string& key) {
  bool printable = !key.empty() && key.size() <= 255;
  for (unsigned char c : key) printable = printable && c > 0x20 && c < 0x7f;
  return printable ? std::string()
                   : "A chave de idempotência deve ter de 1 a 255 caracteres ASCII visíveis, "
                     "sem espaços.";
}

std::string contentDigest(const Coleta& c) {
  std::string canonical;
  field(canonical, c.cliente_id);
  field(canonical, c.remetente_id);
  field(canonical, c.destinatario_id);
  field(canonical, c.volumes);
  field(canonical, c.peso_kg);
  field(canonical, c.valor_declarado);
  field(canonical, c.embalagem);
  for (const Peca& p : c.pecas) {
    field(canonical, p.volumes);
    field(canonical, p.largura_m);
    field(canonical, p.altura_m);
    field(canonical, p.comprimento_m);
  }
  // FNV-1a, 64 bits, twice with different offsets: stable on every platform.
  auto fnv = [&](uint64_t h) {
    for (unsigned char ch : canonical) h = (h ^ ch) * 0x100000001b3ULL;
    return h;
  };
  char out[33];
  std::snprintf(out, sizeof out, "%016llx%016llx",
                static_cast<unsigned long long>(fnv(0xcbf29ce484222325ULL)),
                static_cast<unsigned long long>(fnv(0x84222325cbf29ce4ULL)));
  return out;
}

std::optional<StoredKey> findKey(const std::string& connection, const std::string& key) {
  data::Recordset rs;
  run("SELECT RESUMO, DOCTO_TRANSPORTE_ID FROM KTR_IDEMPOTENCIA WHERE CHAVE = " + literal(key) +
          " AND CRIADA_EM >= " + literal(cutoff()),
      connection, rs);
  if (rs.eof()) return std::nullopt;
  StoredKey k;
  k.digest = vb::cstr(rs.fieldsItem("RESUMO"));
  k.id = vb::clng(rs.fieldsItem("DOCTO_TRANSPORTE_ID"));
  return k;
}

void storeKey(const std::string& connection, const std::string& key, const StoredKey& stored) {
  data::Recordset forget, store;
  run("DELETE FROM KTR_IDEMPOTENCIA WHERE CRIADA_EM < " + literal(cutoff()), connection, forget);
  run("INSERT INTO KTR_IDEMPOTENCIA (CHAVE, RESUMO, DOCTO_TRANSPORTE_ID, CRIADA_EM) VALUES (" +
          literal(key) + ", " + literal(stored.digest) + ", " + numtext::integerText(stored.id) +
          ", " + literal(utcText(std::chrono::system_clock::now())) + ")",
      connection, store);
}

}  // namespace z418kt::record
