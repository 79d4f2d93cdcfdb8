#include "z418kt/com_server.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "z418kt/interface.h"
#include "z418kt/z418kt.h"

extern "C" {
const Z418ktGuid LIBID_Z418kt08 = {
    0x1ACED333, 0xF29B, 0x4217, {0x83, 0xF2, 0x20, 0x50, 0x11, 0xB2, 0xB9, 0xE4}};
const Z418ktGuid CLSID_Z418kt = {
    0x0B610617, 0xD93B, 0x4EBC, {0x96, 0xC1, 0x64, 0x5B, 0xE2, 0x15, 0xF3, 0x54}};
const Z418ktGuid IID__Z418kt = {
    0x7AA0928A, 0x4C9B, 0x41DE, {0xBA, 0xD6, 0x1F, 0x5D, 0x5C, 0x7D, 0xAC, 0x78}};
const Z418ktGuid IID_IZ418ktClassFactory = {
    0x95B168E8, 0x1DE8, 0x4563, {0xAF, 0xDA, 0x04, 0x9A, 0x6F, 0x37, 0xA3, 0x55}};
}

namespace {

constexpr int32_t S_OK = 0;
constexpr int32_t S_FALSE = 1;
constexpr int32_t E_POINTER = static_cast<int32_t>(0x80004003);
constexpr int32_t E_NOINTERFACE = static_cast<int32_t>(0x80004002);
constexpr int32_t CLASS_E_CLASSNOTAVAILABLE = static_cast<int32_t>(0x80040111);
constexpr int32_t SELFREG_E_CLASS = static_cast<int32_t>(0x80040201);

std::atomic<int> gLiveInstances{0};

z418kt::Z418kt* createInstance() {
  auto* instance = new z418kt::Z418kt();
  ++gLiveInstances;
  return instance;
}

void releaseInstance(z418kt::Z418kt* instance) {
  if (!instance) return;
  delete instance;
  --gLiveInstances;
}

const Z418ktClassFactory kFactory = {createInstance, releaseInstance};

bool sameGuid(const Z418ktGuid* a, const Z418ktGuid& b) {
  return a && std::memcmp(a, &b, sizeof b) == 0;
}

std::string libraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) && info.dli_fname)
    return std::filesystem::absolute(info.dli_fname).string();
  return "libz418kt08.so";
}

}  // namespace

namespace z418kt {

std::string guidText(const Z418ktGuid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

std::string registryFilePath() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return (base / "z418kt" / (std::string(kProgId) + ".reg")).string();
}

}  // namespace z418kt

extern "C" {

int32_t DllRegisterServer(void) {
  std::filesystem::path file = z418kt::registryFilePath();
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::trunc);
  out << "ProgID=" << z418kt::kProgId << "\n"
      << "CLSID=" << z418kt::guidText(CLSID_Z418kt) << "\n"
      << "TypeLib=" << z418kt::guidText(LIBID_Z418kt08) << " 1.0 Z418kt08\n"
      << "Interface=" << z418kt::guidText(IID__Z418kt) << " _Z418kt\n"
      << "InprocServer=" << libraryPath() << "\n";
  // The interface's methods, as a type library would describe them.
  for (const z418kt::InterfaceEntry& entry : z418kt::interfaceTable())
    out << "Method=" << entry.dispid << " " << entry.name << " " << entry.parameters.size() << "\n";
  out << "ThreadingModel=Apartment\n";
  out.close();
  return out ? S_OK : SELFREG_E_CLASS;
}

int32_t DllUnregisterServer(void) {
  std::error_code ec;
  std::filesystem::remove(z418kt::registryFilePath(), ec);
  return ec ? SELFREG_E_CLASS : S_OK;
}

int32_t DllGetClassObject(const Z418ktGuid* clsid, const Z418ktGuid* iid, void** factory) {
  if (!factory) return E_POINTER;
  *factory = nullptr;
  if (!sameGuid(clsid, CLSID_Z418kt)) return CLASS_E_CLASSNOTAVAILABLE;
  if (!sameGuid(iid, IID_IZ418ktClassFactory)) return E_NOINTERFACE;
  *factory = const_cast<Z418ktClassFactory*>(&kFactory);
  return S_OK;
}

int32_t DllCanUnloadNow(void) { return gLiveInstances.load() == 0 ? S_OK : S_FALSE; }
}
