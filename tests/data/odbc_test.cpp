// The ODBC provider without a server: connection-text handling and value
// mapping; and both server providers against servers that are down or never
// answer. Sessions on a live server: postgres_sessions_test.cpp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <tuple>

#include "data/odbc_provider.h"
#include "data/odbc_values.h"
#include "data/postgres_provider.h"
#include "data/session_errors.h"
#include "support/postgres_server.h"
#include "support/temp_database.h"

namespace z418kt::data {
namespace {

TEST(OdbcText, AdoPrefixPasswordMaskAndExactDecimals) {
  EXPECT_EQ(odbc::withoutAdoPrefix(" provider = msdasql.1 ;DSN=coleta"), "DSN=coleta");
  EXPECT_EQ(odbc::withoutAdoPrefix("DSN=x;Provider=MSDASQL"), "DSN=x;Provider=MSDASQL");
  const std::string text = "Driver=X;UID=u;PWD={s3cr;et}}};Password=other";
  EXPECT_EQ(odbc::masked("bad s3cr;et} and other", text), "bad *** and ***");

  // Exact decimals: I4 when declared without decimals and within 32 bits, else
  // Currency when they fit it, else R8; what is no number stays text.
  const std::tuple<const char*, int, Variant> cases[] = {
      {"-2147483648", 0, Variant(int32_t{-2147483647 - 1})},
      {"2147483648", 0, Variant(Currency{21474836480000})},
      {"7", 4, Variant(Currency{70000})},
      {"-0.0001", 4, Variant(Currency{-1})},
      {"1.23456", 5, Variant(1.23456)},
      {"1234567890123456.5", 1, Variant(1234567890123456.5)},
      {"NaN", 0, Variant("NaN")}};
  for (const auto& [text, scale, expected] : cases)
    EXPECT_EQ(odbc::decimalFromText(text, scale), expected) << text;
}

TEST(ServerConnect, ServerDownSilentOrNoDriverGivesAnErrorWithoutThePassword) {
  auto odbc = makeOdbcProvider(SessionTimeouts{2, 2});
  auto native = makePostgresProvider(SessionTimeouts{2, 2});
  auto expectFailure = [&](const std::string& text, const std::string& state) {
    Provider& provider = text.rfind("Driver=", 0) == 0 ? *odbc : *native;
    std::string error =
        testing::failureOf([&] { provider.connect(text + "Pwd=Segredo42"); }).description;
    EXPECT_NE(error.find(state), std::string::npos) << text << ": " << error;
    EXPECT_EQ(error.find("Segredo42"), std::string::npos) << error;
    EXPECT_EQ(error.find("Pwd"), std::string::npos) << error;
  };
  // A silent server: the kernel completes the connection but nothing ever
  // answers, so only the login timeout ends the wait.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string base = "Driver=PostgreSQL Unicode;Server=127.0.0.1;Database=x;Uid=u;Port=" +
                           std::to_string(ntohs(address.sin_port)) + ";";
  const std::string nativeBase = testing::nativeText(base);
  expectFailure("Provider=MSDASQL;" + base, "[08");
  expectFailure(nativeBase, "[08");
  close(listener);  // now the server is down: nothing listens on the port
  expectFailure(base, "[08");
  expectFailure(nativeBase, "[08");
  expectFailure("Driver=No Such Driver;", "[");
}

}  // namespace
}  // namespace z418kt::data
