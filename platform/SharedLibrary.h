#pragma once
// A shared object opened by name at run time, its functions looked up by name. The programs
// load what only some commands need this way, so that the others start without it.

#include <string>

namespace quillory::platform {

class CSharedLibrary final {
public:
    CSharedLibrary() = default;
    // Leaves an open library loaded: its functions may be in use until the process ends.
    ~CSharedLibrary() = default;
    CSharedLibrary(const CSharedLibrary&) = delete;
    CSharedLibrary& operator=(const CSharedLibrary&) = delete;

    // Opens `name` with all its symbols bound now; false with Error() set when it cannot.
    bool Open(const std::string& name);
    // Unloads the library, for one that turned out unusable.
    void Close();

    // Sets `function` to the library's `symbol`; false when it has none.
    template <typename Function> bool Find(const char* symbol, Function& function) const {
        function = reinterpret_cast<Function>(Symbol(symbol));
        return function != nullptr;
    }

    const std::string& Error() const { return error_; }

private:
    void* Symbol(const char* symbol) const;

    void* handle_ = nullptr;
    std::string error_;
};

} // namespace quillory::platform
