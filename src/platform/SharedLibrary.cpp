#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace quorvane {

SharedLibrary::SharedLibrary(const char* soname) {
    handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = ::dlerror();
        problem_ = why ? why : std::string(soname) + ": cannot be loaded";
    }
}

SharedLibrary::~SharedLibrary() {
    // Left loaded: the library may have registered exit handlers (OpenSSL
    // does), which must still find their code at exit.
}

void* SharedLibrary::Symbol(const char* name) {
    if (!handle_)
        return nullptr;
    void* symbol = ::dlsym(handle_, name);
    if (!symbol && problem_.empty())
        problem_ = std::string("missing symbol ") + name;
    return symbol;
}

} // namespace quorvane
