// Owners of opened dynamic libraries and of functions resolved in them.
// Every loader failure becomes a launcher error with the loader's own text.
#ifndef DLL_H
#define DLL_H

#include <string>

#include "ErrorHandling.h"
#include "tstrings.h"

/// One opened dynamic library. A copy opens the library again and owns its
/// own handle.
class Dll {
public:
    /// Opens the library at `libPath` with lazy binding; throws on failure.
    explicit Dll(const tstrings::any& libPath);
    Dll(const Dll& other);
    ~Dll();

    Dll& operator=(const Dll&) = delete;

    /// The address of `name`; null when it is missing and `throwIfNotFound`
    /// is false, else a launcher error.
    void* getFunction(const std::string& name, bool throwIfNotFound) const;

    /// Sets `addr` to the address of `name`; throws when it is missing.
    template <class T>
    void getFunction(const tstrings::any& name, T& addr) const {
        addr = reinterpret_cast<T>(getFunction(name.str(), true));
    }

    const std::string& path() const { return libPath; }

    /// Closes `h`; a null handle is ignored.
    static void freeLibrary(void* h);

private:
    std::string libPath;
    void* handle;
};

/// A function resolved in its own opened copy of a library, so that it stays
/// callable for as long as this object lives.
template <class FuncType>
class DllFunction {
public:
    DllFunction(const Dll& library, const tstrings::any& name)
        : lib(library), funcPtr(nullptr), funcName(name.str()) {
        lib.getFunction(name, funcPtr);
    }

    /// The function's address; throws when it is null.
    operator FuncType() const {
        if (funcPtr == nullptr) {
            throw makeException(tstrings::any() << funcName
                    << "() function is not available in " << lib.path(),
                    SourceCodePos(__FILE__, "operator void *", __LINE__));
        }
        return funcPtr;
    }

private:
    Dll lib;
    FuncType funcPtr;
    std::string funcName;
};

#endif // DLL_H
