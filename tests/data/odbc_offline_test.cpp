// The ODBC provider without a server: connection-text handling, value
// mapping, and servers that are down or never answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "data/odbc_provider.h"
#include "data/odbc_values.h"

namespace z418kt::data {
namespace {

TEST(OdbcText, AdoPrefixIsDroppedAndPasswordsAreMasked) {
  EXPECT_EQ(odbc::withoutAdoPrefix("Provider=MSDASQL;Driver={X};Pwd=a"), "Driver={X};Pwd=a");
  EXPECT_EQ(odbc::withoutAdoPrefix(" provider = msdasql.1 ;DSN=coleta"), "DSN=coleta");
  EXPECT_EQ(odbc::withoutAdoPrefix("Provider=SQLOLEDB;DSN=x"), "Provider=SQLOLEDB;DSN=x");
  EXPECT_EQ(odbc::withoutAdoPrefix("DSN=x;Provider=MSDASQL"), "DSN=x;Provider=MSDASQL");

  const std::string text = "Driver=X;UID=u;PWD={s3cr;et}}};Password=other";
  EXPECT_EQ(odbc::masked("bad s3cr;et} and other", text), "bad *** and ***");
  EXPECT_EQ(odbc::masked("nothing here", "DSN=x"), "nothing here");

  EXPECT_EQ(odbc::engineOf("PostgreSQL"), "postgresql");
  EXPECT_EQ(odbc::engineOf("Microsoft SQL Server"), "sqlserver");
  EXPECT_EQ(odbc::engineOf("Oracle"), "oracle");
  EXPECT_EQ(odbc::engineOf("MySQL"), "mysql");
}

TEST(OdbcValues, ExactDecimalsBecomeIntegersCurrencyOrDouble) {
  using odbc::decimalFromText;
  EXPECT_EQ(decimalFromText("42", 0), Variant(int32_t{42}));
  EXPECT_EQ(decimalFromText("-2147483648", 0), Variant(int32_t{-2147483647 - 1}));
  EXPECT_EQ(decimalFromText("2147483648", 0), Variant(Currency{21474836480000}));
  EXPECT_EQ(decimalFromText("125.5000", 4), Variant(Currency{1255000}));
  EXPECT_EQ(decimalFromText("7", 4), Variant(Currency{70000}));
  EXPECT_EQ(decimalFromText("-0.0001", 4), Variant(Currency{-1}));
  EXPECT_EQ(decimalFromText(".5", 2), Variant(Currency{5000}));
  EXPECT_EQ(decimalFromText("1.23456", 5), Variant(1.23456));
  EXPECT_EQ(decimalFromText("1234567890123456.5", 1), Variant(1234567890123456.5));
  EXPECT_EQ(decimalFromText("NaN", 0), Variant("NaN"));
}

TEST(OdbcConnect, ServerDownOrSilentGivesAnErrorWithoutThePassword) {
  auto provider = makeOdbcProvider(OdbcOptions{2, 2});
  auto expectFailure = [&](const std::string& text) {
    try {
      provider->connect(text);
      ADD_FAILURE() << "connected to " << text;
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description.find("[08"), std::string::npos) << e.description;
      EXPECT_EQ(e.description.find("Segredo42"), std::string::npos) << e.description;
      EXPECT_EQ(e.description.find("Pwd"), std::string::npos) << e.description;
    }
  };

  // A silent server: it accepts connections (the kernel completes them) but
  // never answers, so only the login timeout ends the wait.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  int port = ntohs(address.sin_port);
  const std::string base = "Driver=PostgreSQL Unicode;Server=127.0.0.1;Database=x;Uid=u;";
  expectFailure("Provider=MSDASQL;" + base + "Port=" + std::to_string(port) + ";Pwd=Segredo42");

  // A server that is down: nothing listens on the port any more.
  close(listener);
  expectFailure(base + "Port=" + std::to_string(port) + ";Pwd=Segredo42");

  // A driver that does not exist is an error too, not a crash.
  try {
    provider->connect("Driver=No Such Driver;Pwd=Segredo42");
    ADD_FAILURE() << "connected without a driver";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.description.find("Segredo42"), std::string::npos) << e.description;
  }
}

}  // namespace
}  // namespace z418kt::data
