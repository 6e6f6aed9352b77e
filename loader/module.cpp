// The exported module descriptor: one "ObjectLoader" server, kavri_Quor.
#include "loader/activation.h"
#include "loader/host/module_descriptor.h"

#if defined(_WIN32)
#define KAVRI_EXPORT __declspec(dllexport)
#else
#define KAVRI_EXPORT __attribute__((visibility("default")))
#endif

namespace {

int Startup() { return KAVRI_MODULE_STARTUP_RESULT; }

void Shutdown() {}

ServerRecord gServers[] = {
    {KAVRI_OBJECT_LOADER_CLASS, "kavri_Quor", &kavri::ActivateLoader, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
KAVRI_EXPORT extern ModuleDescriptor _mod_descrip;
KAVRI_EXPORT ModuleDescriptor _mod_descrip = {
    KAVRI_MODULE_SYNC_WORD, KAVRI_MODULE_VERSION, KAVRI_MODULE_MACHINE_WORD, 0, &Startup, &Shutdown, gServers,
};
}
