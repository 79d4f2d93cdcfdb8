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
  EXPECT_NE(text.str().find("ProgID=Z418kt08.Z418kt\nCLSID={0B610617-D93B-4EBC-96C1-645BE215F354}"),
            std::string::npos);
  EXPECT_NE(text.str().find("InprocServer=/"), std::string::npos);
  EXPECT_EQ(DllUnregisterServer(), 0);
  EXPECT_FALSE(std::filesystem::exists(registryFilePath()));
  std::filesystem::remove_all(dir);
  unsetenv("XDG_CONFIG_HOME");

  void* raw = nullptr;
  EXPECT_LT(DllGetClassObject(&IID__Z418kt, &IID_IClassFactory, &raw), 0);
  EXPECT_LT(DllGetClassObject(&CLSID_Z418kt, &IID__Z418kt, &raw), 0);
  ASSERT_EQ(DllGetClassObject(&CLSID_Z418kt, &IID_IClassFactory, &raw), 0);
  auto* factory = static_cast<Z418ktClassFactory*>(raw);
  Z418kt* instance = factory->createInstance();
  EXPECT_EQ(DllCanUnloadNow(), 1);
  factory->releaseInstance(instance);
  EXPECT_EQ(DllCanUnloadNow(), 0);
}

TEST(InterfaceTable, SlotsDispidsAndLateBinding) {
  const auto& table = interfaceTable();
  ASSERT_EQ(table.size(), 14u);
  EXPECT_EQ(table[0].name, "gConsulta_Coleta");
  EXPECT_EQ(table[0].parameters.size(), 19u);
  EXPECT_EQ(table[13].name, "mInclui_Campos_DOCTO_TRANSPORTE");
  EXPECT_EQ(table[13].dispid, 0x6003000D);
  EXPECT_EQ(table[5].parameters[14], "inarrvntMatriz_Dim");
  EXPECT_EQ(table[7].parameters[0], "instrConecta_DB");
  EXPECT_EQ(findOperation("GEXCLUI_COLETA"), &table[4]);
  EXPECT_EQ(findOperation(int32_t{0x60030002}), &table[2]);
  EXPECT_EQ(findOperation(int32_t{0x6003000E}), nullptr);
  EXPECT_EQ(builderTable()[8].name, "mTrataSP_KTR_INC_SOLICIT_COLETA");

  Z418kt component;
  std::vector<Variant> args(3);
  try {
    invoke(component, "nope", args);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 438);
  }
  try {
    invoke(component, "gExclui_Coleta", args);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 450);
  }
}

}  // namespace
}  // namespace z418kt
