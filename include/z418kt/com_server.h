// The in-process server face of the library, for hosts that load
// libz418kt08.so by name (dlopen) instead of linking it.
//
// Identity: type library Z418kt08 1.0, class Z418kt (ProgID
// "Z418kt08.Z418kt"), interface _Z418kt; their GUIDs never change.
//
// Entry points (C ABI, HRESULT results: 0 S_OK, 1 S_FALSE, negative errors):
// - DllRegisterServer writes the registry file that maps the ProgID and the
//   class identifier to this library; DllUnregisterServer removes it. The file
//   lives at $XDG_CONFIG_HOME/z418kt/Z418kt08.Z418kt.reg (~/.config when unset).
//   The file also lists the interface's methods: "Method=<dispid> <name>
//   <parameter count>", one line each in slot order.
// - DllGetClassObject hands out the class factory for CLSID_Z418kt, and only
//   under IID_IZ418ktClassFactory: the factory is the plain C structure below,
//   not a COM IClassFactory, so a host asking for that (or any other)
//   interface gets E_NOINTERFACE instead of a pointer it would misuse.
// - DllCanUnloadNow answers S_OK when no instance created through the factory
//   is alive.
#pragma once

#include <cstdint>
#include <string>

namespace z418kt {
class Z418kt;
}

extern "C" {

struct Z418ktGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

// The class factory: creates and releases Z418kt instances.
struct Z418ktClassFactory {
  z418kt::Z418kt* (*createInstance)();
  void (*releaseInstance)(z418kt::Z418kt*);
};

extern const Z418ktGuid LIBID_Z418kt08;
extern const Z418ktGuid CLSID_Z418kt;
extern const Z418ktGuid IID__Z418kt;
// Identifies the Z418ktClassFactory structure in DllGetClassObject.
extern const Z418ktGuid IID_IZ418ktClassFactory;

int32_t DllRegisterServer(void);
int32_t DllUnregisterServer(void);
int32_t DllGetClassObject(const Z418ktGuid* clsid, const Z418ktGuid* iid, void** factory);
int32_t DllCanUnloadNow(void);
}

namespace z418kt {
inline constexpr const char* kProgId = "Z418kt08.Z418kt";
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::string guidText(const Z418ktGuid& guid);
// Where DllRegisterServer writes the registry file.
std::string registryFilePath();
}  // namespace z418kt
