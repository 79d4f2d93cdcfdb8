/* A plain C program that loads the library by name with dlopen and runs a
 * Coleta through the C entry point: create the database, save, read by name,
 * delete by dispatch identifier, reads from several threads at once through
 * one component, and the error answers of the C boundary.
 * Usage: c_dlopen LIBRARY FILE. Exit 0 when every check held. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "z418kt/z418kt_c.h"

static int failures = 0;

static struct {
  z418kt_component* (*create)(void);
  void (*destroy)(z418kt_component*);
  char* (*call)(z418kt_component*, const char*, const char*);
  char* (*call_dispid)(z418kt_component*, int32_t, const char*);
  char* (*request)(z418kt_component*, const char*);
  char* (*init_database)(const char*, int);
  void (*free_answer)(char*);
} api;

static void* symbol(void* library, const char* name) {
  void* address = dlsym(library, name);
  if (!address) {
    fprintf(stderr, "missing symbol %s\n", name);
    exit(1);
  }
  return address;
}

/* Checks that `answer` holds `expected`, then frees it. */
static void expect(char* answer, const char* expected, const char* what) {
  if (!answer || !strstr(answer, expected)) {
    fprintf(stderr, "FAILED: %s: expected %s in %s\n", what, expected, answer ? answer : "NULL");
    ++failures;
  }
  api.free_answer(answer);
}

/* The integer value of argument `name` in an answer ("vt":"I4"). */
static long argument(const char* answer, const char* name) {
  char key[128];
  snprintf(key, sizeof key, "\"%s\":{\"vt\":\"I4\",\"value\":", name);
  const char* at = answer ? strstr(answer, key) : NULL;
  return at ? strtol(at + strlen(key), NULL, 10) : -1;
}

struct reader {
  z418kt_component* component;
  const char* request;
  int failed;
};

/* Reads the demo Coleta again and again, as one of several threads. */
static void* read_repeatedly(void* argument) {
  struct reader* r = argument;
  for (int i = 0; i < 25; ++i) {
    char* answer = api.call(r->component, "gConsulta_Coleta", r->request);
    if (!answer || !strstr(answer, "\"result\":{\"vt\":\"I2\",\"value\":0}")) r->failed = 1;
    api.free_answer(answer);
  }
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: c_dlopen LIBRARY FILE\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  *(void**)&api.create = symbol(library, "z418kt_create");
  *(void**)&api.destroy = symbol(library, "z418kt_destroy");
  *(void**)&api.call = symbol(library, "z418kt_call");
  *(void**)&api.call_dispid = symbol(library, "z418kt_call_dispid");
  *(void**)&api.request = symbol(library, "z418kt_request");
  *(void**)&api.init_database = symbol(library, "z418kt_init_database");
  *(void**)&api.free_answer = symbol(library, "z418kt_free");

  char connection[512], context[1024], request[2048];
  snprintf(connection, sizeof connection, "Provider=SQLite;Data Source=%s", argv[2]);
  snprintf(context, sizeof context,
           "\"invntConecta_DB\":\"%s\",\"invntUsuario_Internet_ID\":0,"
           "\"invntBanco_Dados\":\"ORACLE\"",
           connection);
  expect(api.init_database(connection, 1), "\"value\":true", "init");
  expect(api.init_database(connection, 1), "\"error\"", "init refuses a set-up database");

  z418kt_component* component = api.create();
  snprintf(request, sizeof request,
           "{%s,\"INVNTCLIENTE_ID\":2,\"invntEND_DESTINATARIO_ID\":11,"
           "\"invntEND_REMETENTE_ID\":12,\"invntnum_volume\":3,\"invntpeso_real\":\"42,5\","
           "\"invnttxt_embalagem\":\"Caixas\",\"invntval_declarado\":1500,"
           "\"invntQtde_Linha\":1,\"invntQtde_Coluna\":5,"
           "\"inarrvntMatriz_Dim\":[[2],[0.5],[0.4],[0.3],[0]],\"iovntDOCTO_TRANSPORTE_ID\":0}",
           context);
  char* saved = api.call(component, "gGrava_Coleta", request);
  long id = argument(saved, "iovntDOCTO_TRANSPORTE_ID");
  expect(saved, "\"result\":{\"vt\":\"I2\",\"value\":0}", "save");
  if (id <= 0) {
    fprintf(stderr, "FAILED: save wrote no identifier back\n");
    return 1;
  }

  snprintf(request, sizeof request, "{\"args\":{%s,\"invntDOCTO_TRANSPORTE_ID\":%ld}}", context,
           id);
  expect(api.call(component, "GCONSULTA_COLETA", request), "\"value\":\"Caixas\"", "read");
  /* Slot 4, gExclui_Coleta. */
  expect(api.call_dispid(component, 0x60030004, request), "\"result\":{\"vt\":\"I2\",\"value\":0}",
         "delete");
  expect(api.call(component, "gConsulta_Coleta", request),
         "\"outvnttxt_embalagem\":{\"vt\":\"EMPTY\"}", "a deleted Coleta reads as missing");

  snprintf(request, sizeof request, "{%s,\"invntDOCTO_TRANSPORTE_ID\":100}", context);
  enum { kThreads = 4 };
  pthread_t threads[kThreads];
  struct reader readers[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    readers[t] = (struct reader){component, request, 0};
    pthread_create(&threads[t], NULL, read_repeatedly, &readers[t]);
  }
  for (int t = 0; t < kThreads; ++t) {
    pthread_join(threads[t], NULL);
    if (readers[t].failed) {
      fprintf(stderr, "FAILED: a read in thread %d\n", t);
      ++failures;
    }
  }

  snprintf(request, sizeof request, "{\"id\":7,\"op\":%d,\"args\":[]}", 0x60030000);
  expect(api.request(component, request), "\"number\":450", "wrong argument count");
  expect(api.request(component, request), "\"id\":7", "the id comes back");
  expect(api.call(component, "NoSuchOperation", NULL), "\"number\":438", "unknown operation");
  expect(api.call(component, "gConsulta_Coleta", "{not json"), "\"number\":1001", "bad JSON");
  expect(api.call(NULL, "gConsulta_Coleta", NULL), "\"number\":91", "no component");
  api.destroy(component);
  api.destroy(NULL);
  dlclose(library);
  return failures == 0 ? 0 : 1;
}
