#include "mail/OpenSslLibrary.h"

#include "platform/SharedLibrary.h"

namespace quorvane {
namespace {

struct Loaded {
    const OpenSslLibrary* Functions = nullptr;
    std::string Problem;
};

} // namespace

const OpenSslLibrary* OpenSsl(std::string* problem) {
    static const Loaded loaded = [] {
        static SharedLibrary library("libssl.so.3");
        static OpenSslLibrary functions;
        bool all = library.Loaded();
#define QUORVANE_OPENSSL_RESOLVE(name) all = all && library.Resolve(functions.name, #name);
        QUORVANE_OPENSSL_FUNCTIONS(QUORVANE_OPENSSL_RESOLVE)
#undef QUORVANE_OPENSSL_RESOLVE
        return Loaded{all ? &functions : nullptr, library.Problem()};
    }();
    if (problem)
        *problem = loaded.Problem;
    return loaded.Functions;
}

} // namespace quorvane
