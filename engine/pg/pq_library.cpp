#include "engine/pg/pq_library.h"

#include <dlfcn.h>

#include <mutex>

#include "engine/error.h"

namespace tarnel::pg {

std::unique_ptr<PqLibrary> LoadPqLibrary(const std::string& fileName)
{
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        throw EngineError("The PostgreSQL client library " + fileName +
                          " could not be loaded, so server aliases cannot be used (install libpq5): " +
                          (why ? why : "not found"));
    }
    auto library = std::make_unique<PqLibrary>();
    library->handle = handle;
#define TARNEL_PQ_LOAD(name)                                                                              \
    library->name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                            \
    if (!library->name) {                                                                                 \
        dlclose(handle);                                                                                  \
        throw EngineError("The PostgreSQL client library " + fileName + " has no function " #name        \
                          "; it is too old for server aliases");                                           \
    }
    TARNEL_PQ_FUNCTIONS(TARNEL_PQ_LOAD)
#undef TARNEL_PQ_LOAD
    return library;
}

const PqLibrary& Pq()
{
    static std::once_flag once;
    static std::unique_ptr<PqLibrary> library;
    static std::string failure;
    std::call_once(once, [] {
        try {
            library = LoadPqLibrary(kPqLibraryName);
        } catch (const EngineError& e) {
            failure = e.what();
        }
    });
    if (!library) throw EngineError(failure);
    return *library;
}

} // namespace tarnel::pg
