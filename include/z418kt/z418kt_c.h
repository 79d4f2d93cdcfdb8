/* The C entry point of the Coleta component, for C programs and for any
 * language with a C foreign-function interface (Python ctypes, Java FFM,
 * .NET P/Invoke, Node FFI). Plain C99; needs no C++ header or run time of
 * its own at the caller's side.
 *
 * Requests and answers are UTF-8 JSON texts in the typed form of
 * `z418kt invoke` (see README): arguments positional (a JSON array, one value
 * per parameter) or by parameter name (an object, any case; missing ones are
 * Empty), or a request {"args": ...}. The answer is
 *   {"result": typed, "args": {name: typed, ...}}
 * with every argument as the call left it, in interface order, so an answer's
 * arguments can be given back unchanged. A call that fails as a whole answers
 *   {"error": {"number": N, "description": "..."}}
 * (unknown operation 438, wrong argument count 450, unknown argument name 448,
 * unreadable value 5, malformed JSON 1001, no component 91). A status 10 of an
 * operation is an answer, not such an error.
 *
 * Memory: every answer is a new NUL-terminated text owned by the caller and
 * released with z418kt_free; NULL only when memory runs out.
 * No function lets a C++ exception out.
 *
 * Threads: a component keeps no state between calls. Any number of threads
 * may call at the same time, through one component or several; each thread
 * gets its own outside components, and database sessions are pooled per
 * connection text and handed to one call at a time. Destroy a component only
 * once no call on it is running.
 */
#ifndef Z418KT_C_H
#define Z418KT_C_H

#include <stdint.h>

#include "z418kt/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct z418kt_component z418kt_component;

/* A new component; NULL only when memory runs out. */
Z418KT_EXPORT z418kt_component* z418kt_create(void);
/* Releases a component; NULL is ignored. */
Z418KT_EXPORT void z418kt_destroy(z418kt_component* component);

/* Calls the operation named `operation` (any case) with the arguments of
 * `request` (NULL or blank: every argument Empty). */
Z418KT_EXPORT char* z418kt_call(z418kt_component* component, const char* operation,
                                const char* request);
/* The same, the operation given by dispatch identifier (0x60030000 + slot). */
Z418KT_EXPORT char* z418kt_call_dispid(z418kt_component* component, int32_t dispid,
                                       const char* request);
/* One request as `z418kt serve` reads a line: {"op": name or dispatch
 * identifier, "args": ..., "id": anything}; the id comes back in the answer. */
Z418KT_EXPORT char* z418kt_request(z418kt_component* component, const char* request);

/* Creates the schema, the procedures and, when `with_demo` is not 0, the demo
 * data on the empty database of `connection` (a SQLite file that does not
 * exist yet is created). Answers {"result":{"vt":"BOOL","value":true}}, or an
 * error answer with the database left as it was. */
Z418KT_EXPORT char* z418kt_init_database(const char* connection, int with_demo);

/* The typed front door (<z418kt/coletas.h>) with the JSON of the HTTP
 * resources. `connection` is the connection text, `dialect` "ORACLE" or
 * "SQLSERVER" (NULL: "SQLSERVER"). Each answers one JSON object:
 *   {"status":"done","valor":...}   the Coleta, party or page as GET /v1 gives it
 *   {"status":"not_found"|"refused"|"conflict"|"unavailable"|"failed",
 *    "mensagem":"...", "erros":[{"campo","mensagem"},...]}   (erros when refused)
 * A `coleta` is the body of POST /v1/coletas; a `filter` holds the query
 * parameters of GET /v1/coletas (or {"q":...} of GET /v1/pessoas) as a JSON
 * object. A malformed argument answers {"error":...} like the calls above. */
Z418KT_EXPORT char* z418kt_coleta_get(z418kt_component* component, const char* connection,
                                      const char* dialect, int64_t id);
Z418KT_EXPORT char* z418kt_coleta_create(z418kt_component* component, const char* connection,
                                         const char* dialect, const char* coleta,
                                         const char* idempotency_key);
Z418KT_EXPORT char* z418kt_coleta_update(z418kt_component* component, const char* connection,
                                         const char* dialect, int64_t id, const char* coleta);
Z418KT_EXPORT char* z418kt_coleta_remove(z418kt_component* component, const char* connection,
                                         const char* dialect, int64_t id);
Z418KT_EXPORT char* z418kt_coleta_list(z418kt_component* component, const char* connection,
                                       const char* dialect, const char* filter);
Z418KT_EXPORT char* z418kt_pessoa_get(z418kt_component* component, const char* connection,
                                      const char* dialect, int64_t endereco_id);
Z418KT_EXPORT char* z418kt_pessoa_search(z418kt_component* component, const char* connection,
                                         const char* dialect, const char* filter);

/* Releases an answer; NULL is ignored. */
Z418KT_EXPORT void z418kt_free(char* answer);

/* The library's version, "MAJOR.MINOR.PATCH"; a static text. */
Z418KT_EXPORT const char* z418kt_version(void);

#ifdef __cplusplus
}
#endif

#endif
