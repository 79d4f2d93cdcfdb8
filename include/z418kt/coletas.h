// The typed front door: a Coleta, its cargo pieces and a party as plain
// values, and what an operator does with them (get, create, update, remove,
// list, search), with the rules every front end relies on:
// - the operations decide, and their own message is always the first one;
// - a Coleta with air waybills issued is neither changed nor removed (Conflict);
// - client, sender and receiver must exist, and a missing one is named;
// - every field error comes at once, with the field's Portuguese caption;
// - a failure is classed by what happened: Unavailable only when the
//   database could not be reached or did not answer in time.
//
// A FrontDoor is cheap to make and holds only the caller's context; use one
// per thread (each thread's calls run on that thread's component). No member
// throws for what the operations or the database answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "z418kt/decimal.h"
#include "z418kt/export.h"

namespace z418kt {

class Z418kt;

inline constexpr const char* kDefaultConnection = "Provider=SQLite;Data Source=coleta.db";
inline constexpr const char* kOracleKind = "ORACLE";        // statements built by the component
inline constexpr const char* kProcedureKind = "SQLSERVER";  // stored procedures

// The caller context every operation takes.
struct CallContext {
  std::string connection = kDefaultConnection;
  std::string databaseKind = kProcedureKind;
  int32_t userId = 0;  // 1 adds diagnostics to the operations' failure messages
};

struct Peca {
  int64_t id = 0;  // 0 for a piece not stored yet; ignored when saving
  std::optional<Decimal> largura_m, altura_m, comprimento_m;
  std::optional<int64_t> volumes;
  friend bool operator==(const Peca& a, const Peca& b) {
    return a.id == b.id && a.largura_m == b.largura_m && a.altura_m == b.altura_m &&
           a.comprimento_m == b.comprimento_m && a.volumes == b.volumes;
  }
};

// Absent optionals are columns that hold nothing. remetente_id and
// destinatario_id are party-address ids (see Pessoa).
struct Coleta {
  int64_t id = 0;
  std::optional<int64_t> cliente_id, remetente_id, destinatario_id, volumes;
  std::optional<Decimal> peso_kg, valor_declarado;
  std::string embalagem;
  std::vector<Peca> pecas;
  // Read only: the client's trade name (as the read gives it), the names of
  // the client and the parties at the two addresses, and the creation time
  // ("YYYY-MM-DD HH:MM:SS", in lists).
  std::string cliente, cliente_nome, remetente_nome, destinatario_nome, data_emissao;
  // Read only: the warning given when air waybills were issued against the
  // Coleta; while it is present, update and remove answer Conflict.
  std::optional<std::string> aviso;
  friend bool operator==(const Coleta& a, const Coleta& b) {
    return a.id == b.id && a.cliente_id == b.cliente_id && a.remetente_id == b.remetente_id &&
           a.destinatario_id == b.destinatario_id && a.volumes == b.volumes &&
           a.peso_kg == b.peso_kg && a.valor_declarado == b.valor_declarado &&
           a.embalagem == b.embalagem && a.pecas == b.pecas && a.cliente == b.cliente &&
           a.cliente_nome == b.cliente_nome && a.remetente_nome == b.remetente_nome &&
           a.destinatario_nome == b.destinatario_nome && a.data_emissao == b.data_emissao &&
           a.aviso == b.aviso;
  }
};

struct Pessoa {
  int64_t endereco_id = 0;  // the address a Coleta refers to
  std::optional<int64_t> pessoa_id;
  std::string tipo;  // "PF" a person, "PJ" a company
  std::string nome, nome_fantasia;
  std::string cpf_cnpj;  // CPF of a person, CNPJ of a company
  std::string ie_rg;     // RG of a person, state registration of a company
  std::string endereco, cep, municipio;
  std::optional<int64_t> municipio_id;
  std::string cod_municipio_iata;
  friend bool operator==(const Pessoa& a, const Pessoa& b) {
    return a.endereco_id == b.endereco_id && a.pessoa_id == b.pessoa_id && a.tipo == b.tipo &&
           a.nome == b.nome && a.nome_fantasia == b.nome_fantasia && a.cpf_cnpj == b.cpf_cnpj &&
           a.ie_rg == b.ie_rg && a.endereco == b.endereco && a.cep == b.cep &&
           a.municipio == b.municipio && a.municipio_id == b.municipio_id &&
           a.cod_municipio_iata == b.cod_municipio_iata;
  }
};

enum class Status {
  Done,         // found, stored or removed
  NotFound,     // no such Coleta or party
  Refused,      // the rules refused it: see errors (all of them)
  Conflict,     // a Coleta with air waybills cannot change; an idempotency key reused
  Unavailable,  // the database could not be reached or did not answer in time
  Failed,       // anything else went wrong (login refused, a fault): message says what
};

// One refusal: the request field (as the HTTP resource names it, e.g.
// "peso_kg", "pecas[1].largura_m"; empty for the request as a whole) and the
// Portuguese message naming the field by its caption ("Largura da peça 2").
struct FieldError {
  std::string campo;
  std::string mensagem;
  friend bool operator==(const FieldError& a, const FieldError& b) {
    return a.campo == b.campo && a.mensagem == b.mensagem;
  }
};

template <class T>
struct Result {
  Status status = Status::Failed;
  T value{};                       // meaningful when Done
  std::string message;             // the first message, for every status but Done
  std::vector<FieldError> errors;  // Refused: every error, the operations' own first
  // Create and update: the Coleta id a save that stopped half-way left stored
  // (0 when nothing was); the caller can finish it with an update of that id.
  int64_t storedId = 0;
  // Create with an idempotency key: this is the Coleta an earlier create
  // with the same key and content made; nothing new was stored.
  bool replayed = false;
  bool ok() const { return status == Status::Done; }
};

struct Nothing {};

// A list's filters and page. The newest Coleta comes first.
struct ColetaFilter {
  std::optional<int64_t> cliente_id, remetente_id, destinatario_id;
  std::string desde, ate;  // "YYYY-MM-DD", created on or after / on or before that day
  int32_t limite = 50;     // 1 to kMaxPage
  std::string cursor;      // the next cursor of the previous page; empty for the first
};

struct PessoaQuery {
  std::string q;  // digits (punctuation ignored): start of a CPF/CNPJ; else part of a name
  int32_t limite = 50;
  std::string cursor;
};

inline constexpr int32_t kMaxPage = 500;

template <class T>
struct Page {
  std::vector<T> itens;
  std::string proximo_cursor;  // empty on the last page
};

// Idempotency keys are kept this long after the create they belong to.
inline constexpr int32_t kIdempotencyHours = 24;

class Z418KT_EXPORT FrontDoor {
 public:
  FrontDoor(Z418kt& component, CallContext context);

  // The Coleta with its pieces, the AWB warning and the parties' names.
  Result<Coleta> get(int64_t id) const;
  // Stores a new Coleta; the answer is the Coleta as read back. With a key,
  // a repeat of the same create answers the Coleta the first one made, and
  // the same key with other content is Refused (field "Idempotency-Key").
  Result<Coleta> create(const Coleta& coleta, const std::string& idempotencyKey = {}) const;
  // Replaces the header and all pieces of Coleta `id`.
  Result<Coleta> update(int64_t id, const Coleta& coleta) const;
  Result<Nothing> remove(int64_t id) const;
  Result<Page<Coleta>> list(const ColetaFilter& filter) const;

  Result<Pessoa> pessoa(int64_t enderecoId) const;
  // A client (a party id, as a Coleta's cliente_id) as the party read gives
  // it at the client's first address; NotFound for a client without one.
  Result<Pessoa> cliente(int64_t pessoaId) const;
  Result<Page<Pessoa>> search(const PessoaQuery& query) const;

  const CallContext& context() const { return context_; }

 private:
  Z418kt* component_;
  CallContext context_;
};

}  // namespace z418kt
