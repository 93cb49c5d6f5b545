#include "Dll.h"

#include <dlfcn.h>

namespace {

void* loadLibrary(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_LAZY);
    if (h == nullptr) {
        const char* error = dlerror();
        VT_THROW(tstrings::any() << "dlopen(" << path << ") failed. Error: "
                                 << (error ? error : ""));
    }
    return h;
}

} // namespace

Dll::Dll(const tstrings::any& libPath)
    : libPath(libPath.str()), handle(loadLibrary(this->libPath)) {}

Dll::Dll(const Dll& other)
    : libPath(other.libPath), handle(loadLibrary(libPath)) {}

Dll::~Dll() {
    void* h = handle;
    handle = nullptr;
    freeLibrary(h);
}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    dlerror();
    void* addr = dlsym(handle, name.c_str());
    if (addr == nullptr && throwIfNotFound) {
        const char* error = dlerror();
        VT_THROW(tstrings::any() << "dlsym(" << libPath << ", " << name
                                 << ") failed. Error: " << (error ? error : ""));
    }
    return addr;
}

void Dll::freeLibrary(void* h) {
    if (h != nullptr) {
        dlclose(h);
    }
}
