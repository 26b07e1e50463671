// A system library loaded when a program first needs it, so that a command
// which never sends mail or asks the helper does not pay for loading (and
// relocating) the libraries behind those.
#pragma once

#include <string>

namespace quorvane {

class SharedLibrary {
public:
    // Opens soname ("libssl.so.3") now; Loaded() says whether that worked.
    explicit SharedLibrary(const char* soname);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    // What went wrong: the loader's message for the library or the first
    // symbol that was missing; empty while all is well.
    const std::string& Problem() const { return problem_; }

    // Points fn at the library's function `name`; false (and Problem() set)
    // when the library has no such symbol.
    template <typename Fn> bool Resolve(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(Symbol(name));
        return fn != nullptr;
    }

private:
    void* Symbol(const char* name);

    void* handle_ = nullptr;
    std::string problem_;
};

} // namespace quorvane
