// A plain C program that loads the library by file name with dlopen and uses
// the C entry point where no other client reaches it: database set-up and its
// refusal, the request form with its id, and the error answers of the C
// boundary. Usage: c_dlopen LIBRARY FILE. Exit 0 when every check held.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "z418kt/z418kt_c.h"

static void* library;
static void (*free_answer)(char*);
static int failures = 0;

static void* symbol(const char* name) {
  void* address = dlsym(library, name);
  if (!address) {
    fprintf(stderr, "missing symbol %s\n", name);
    exit(1);
  }
  return address;
}

// Checks that `answer` holds each of `expected` (NULL-terminated), then frees it.
static void expect(char* answer, const char* const* expected) {
  for (; *expected; ++expected) {
    if (!answer || !strstr(answer, *expected)) {
      fprintf(stderr, "FAILED: expected %s in %s\n", *expected, answer ? answer : "NULL");
      ++failures;
    }
  }
  free_answer(answer);
}
#define EXPECT(answer, ...) expect((answer), (const char* const[]){__VA_ARGS__, NULL})

int main(int argc, char** argv) {
  if (argc != 3 || !(library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL))) {
    fprintf(stderr, "usage: c_dlopen LIBRARY FILE (%s)\n", argc == 3 ? dlerror() : "");
    return 2;
  }
  z418kt_component* (*create)(void);
  void (*destroy)(z418kt_component*);
  char* (*call)(z418kt_component*, const char*, const char*);
  char* (*request)(z418kt_component*, const char*);
  char* (*init_database)(const char*, int);
  *(void**)&create = symbol("z418kt_create");
  *(void**)&destroy = symbol("z418kt_destroy");
  *(void**)&call = symbol("z418kt_call");
  *(void**)&request = symbol("z418kt_request");
  *(void**)&init_database = symbol("z418kt_init_database");
  *(void**)&free_answer = symbol("z418kt_free");

  char connection[512], text[1024];
  snprintf(connection, sizeof connection, "Provider=SQLite;Data Source=%s", argv[2]);
  EXPECT(init_database(connection, 1), "\"value\":true");
  EXPECT(init_database(connection, 1), "\"error\"");  // refuses a set-up database

  z418kt_component* component = create();
  snprintf(text, sizeof text,
           "{\"id\":7,\"op\":\"gConsulta_Coleta\",\"args\":{\"invntConecta_DB\":\"%s\","
           "\"invntBanco_Dados\":\"ORACLE\",\"invntDOCTO_TRANSPORTE_ID\":100}}",
           connection);
  EXPECT(request(component, text), "\"id\":7", "\"result\":{\"vt\":\"I2\",\"value\":0}",
         "\"outvnttxt_embalagem\":{\"vt\":\"BSTR\"");
  EXPECT(call(component, "gConsulta_Coleta", "{not json"), "\"number\":1001");
  EXPECT(call(component, NULL, NULL), "\"number\":438");
  EXPECT(call(NULL, "gConsulta_Coleta", NULL), "\"number\":91");
  destroy(component);
  destroy(NULL);
  dlclose(library);
  return failures == 0 ? 0 : 1;
}
