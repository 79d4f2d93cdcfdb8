#include "z418kt/com_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "z418kt/interface.h"

namespace z418kt {
namespace {

TEST(ComServer, RegistersCreatesAndUnloads) {
  auto dir = std::filesystem::temp_directory_path() / "z418kt-registry-test";
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  ASSERT_EQ(DllRegisterServer(), 0);
  std::ifstream in(registryFilePath());
  std::stringstream text;
  text << in.rdbuf();
  for (const char* line :
       {"ProgID=Z418kt08.Z418kt\nCLSID={0B610617-D93B-4EBC-96C1-645BE215F354}", "InprocServer=/",
        "Method=1610809357 mInclui_Campos_DOCTO_TRANSPORTE 16\n"})
    EXPECT_NE(text.str().find(line), std::string::npos) << line;
  EXPECT_EQ(DllUnregisterServer(), 0);
  EXPECT_FALSE(std::filesystem::exists(registryFilePath()));
  std::filesystem::remove_all(dir);
  unsetenv("XDG_CONFIG_HOME");

  void* raw = nullptr;
  // The COM class-factory identifier is refused: the factory is no such object.
  const Z418ktGuid comClassFactory = {0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_LT(DllGetClassObject(&CLSID_Z418kt, &comClassFactory, &raw), 0);
  EXPECT_EQ(raw, nullptr);
  EXPECT_LT(DllGetClassObject(&IID__Z418kt, &IID_IZ418ktClassFactory, &raw), 0);
  EXPECT_LT(DllGetClassObject(&CLSID_Z418kt, &IID__Z418kt, &raw), 0);
  ASSERT_EQ(DllGetClassObject(&CLSID_Z418kt, &IID_IZ418ktClassFactory, &raw), 0);
  auto* factory = static_cast<Z418ktClassFactory*>(raw);
  Z418kt* instance = factory->createInstance();
  EXPECT_EQ(DllCanUnloadNow(), 1);
  factory->releaseInstance(instance);
  EXPECT_EQ(DllCanUnloadNow(), 0);
}

// Names and parameter counts are held against the class at compile time;
// what remains is the lookup: any case by name, and only the slots' dispatch
// identifiers.
TEST(InterfaceTable, LooksUpByNameInAnyCaseAndByDispatchIdentifier) {
  const auto& table = interfaceTable();
  ASSERT_EQ(table.size(), 14u);
  EXPECT_EQ(findOperation("GEXCLUI_COLETA"), &table[4]);
  EXPECT_EQ(findOperation("gExclui_Colet"), nullptr);
  EXPECT_EQ(findOperation(int32_t{0x6003000D}), &table[13]);
  // No overflow below the first.
  for (int32_t outside : {int32_t{-1610809346}, int32_t{0x6003000E}, int32_t{0x5FFFFFFF}})
    EXPECT_EQ(findOperation(outside), nullptr) << outside;
  EXPECT_TRUE(table[5].returnsStatus);
  EXPECT_FALSE(table[7].returnsStatus);
}

}  // namespace
}  // namespace z418kt
