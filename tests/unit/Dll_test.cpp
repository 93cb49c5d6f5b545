// Dll and DllFunction<void*>: the loader's failures as launcher errors with
// the loader's own text, and copies that hold the library open on their own.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <string>

#include "Dll.h"
#include "ErrorHandling.h"
#include "LogCapture.h"
#include "TestSupport.h"

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::isLoaded;
using testing_support::LoadWatch;

namespace {

typedef VtError<std::runtime_error> Error;

int callIntFunction(void* address) {
    int (*f)();
    std::memcpy(&f, &address, sizeof(f));
    return f();
}

typedef int (*LaunchFunc)(int, char**, int, const char**, int, const char**,
                          const char*, const char*, const char*, const char*,
                          unsigned char, unsigned char, unsigned char, int);

// Calls the substitute library's JLI_Launch, which returns FAKE_JLI_RESULT.
int callFakeLaunch(void* address) {
    LaunchFunc f;
    std::memcpy(&f, &address, sizeof(f));
    char arg0[] = "x";
    char* argv[] = {arg0, nullptr};
    return f(1, argv, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 0,
             0, 0);
}

// Splits a loader error into the part before the loader's text and the text.
void expectLoaderError(const Error& e, const std::string& prefix,
                       const std::string& function, const std::string& path) {
    const std::string raw = e.rawMessage();
    ASSERT_EQ(prefix, raw.substr(0, prefix.size())) << raw;
    const std::string loaderText = raw.substr(prefix.size());
    EXPECT_FALSE(loaderText.empty());
    EXPECT_NE(std::string::npos, loaderText.find(path)) << loaderText;
    const std::string what = e.what();
    EXPECT_EQ(0u, what.find("UnixDll.cpp(")) << what;
    EXPECT_NE(std::string::npos, what.find(") at " + function + "(): " + raw))
            << what;
}

} // namespace

// dlopen failures: a missing file and a file that is not a library.
TEST(Dll, OpenFailuresCarryTheLoaderText) {
    TempDir dir;
    const std::string text = dir / "text.so";
    testing_support::writeFile(text, "just text, no ELF header at all\n");
    const std::string missing = dir / "nope/libnothing.so";
    for (const std::string& path : {missing, text}) {
        try {
            Dll dll(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const Error& e) {
            expectLoaderError(e, "dlopen(" + path + ") failed. Error: ",
                              "loadLibrary", path);
        }
    }
    // The path may be given as a message builder.
    try {
        Dll dll(tstrings::any() << dir.path() << "/built" << 1 << ".so");
        ADD_FAILURE() << "opened a missing library";
    } catch (const Error& e) {
        EXPECT_EQ(0u, std::string(e.rawMessage())
                              .find("dlopen(" + dir.path() + "/built1.so)"));
    }
}

// dlsym failures, quiet lookups and successful ones.
TEST(Dll, FunctionLookup) {
    const std::string path = testing_support::noLaunchLibPath();
    const Dll dll(path);
    EXPECT_EQ(path, dll.path());

    const std::string prefix = "dlsym(" + path + ", JLI_Launch) failed. Error: ";
    try {
        dll.getFunction("JLI_Launch", true);
        ADD_FAILURE() << "found JLI_Launch";
    } catch (const Error& e) {
        expectLoaderError(e, prefix, "getFunction", path);
        EXPECT_NE(std::string::npos,
                  std::string(e.rawMessage()).substr(prefix.size())
                          .find("JLI_Launch"));
    }
    // Quietly: null, nothing thrown, and the next lookup is not disturbed.
    void* missing = reinterpret_cast<void*>(1);
    EXPECT_NO_THROW(missing = dll.getFunction("JLI_Launch", false));
    EXPECT_EQ(nullptr, missing);

    void* found = dll.getFunction("notJliLaunch", true);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(found, dll.getFunction("notJliLaunch", false));
    EXPECT_EQ(0, callIntFunction(found));

    void* viaTemplate = nullptr;
    dll.getFunction(tstrings::any() << "notJli" << "Launch", viaTemplate);
    EXPECT_EQ(found, viaTemplate);
    try {
        dll.getFunction(tstrings::any() << "no" << "Such", viaTemplate);
        ADD_FAILURE() << "found noSuch";
    } catch (const Error& e) {
        expectLoaderError(e, "dlsym(" + path + ", noSuch) failed. Error: ",
                          "getFunction", path);
    }

    try {
        DllFunction<void*> f(dll, "JLI_Launch");
        ADD_FAILURE() << "resolved JLI_Launch";
    } catch (const Error& e) {
        expectLoaderError(e, prefix, "getFunction", path);
    }
}

// A copy opens the library again: each object closes only its own handle.
TEST(Dll, CopyHasItsOwnHandle) {
    ScopedEnv env("FAKE_JLI_RESULT", "42");
    env.set("FAKE_JLI_RECORD", nullptr);
    env.set("FAKE_JLI_REENTER", nullptr);
    env.set("FAKE_JLI_STDOUT", nullptr);
    const std::string path = testing_support::fakeJliPath();
    const LoadWatch library(path);
    {
        std::unique_ptr<Dll> original(new Dll(path));
        const Dll copy(*original);
        EXPECT_EQ(path, copy.path());
        original.reset();
        ASSERT_TRUE(isLoaded(path));
        EXPECT_EQ(42, callFakeLaunch(copy.getFunction("JLI_Launch", true)));
    }
    EXPECT_TRUE(library.released());
}

// A DllFunction keeps its function callable after the Dll it was made from
// is gone, and closes the library when it goes itself.
TEST(Dll, FunctionOutlivesItsDll) {
    ScopedEnv env("FAKE_JLI_RESULT", "-3");
    env.set("FAKE_JLI_RECORD", nullptr);
    env.set("FAKE_JLI_REENTER", nullptr);
    env.set("FAKE_JLI_STDOUT", nullptr);
    const std::string path = testing_support::fakeJliPath();
    const LoadWatch library(path);
    {
        std::unique_ptr<DllFunction<void*>> func;
        {
            const Dll dll(path);
            func.reset(new DllFunction<void*>(dll, "JLI_Launch"));
        }
        ASSERT_TRUE(isLoaded(path));
        void* address = *func;
        ASSERT_NE(nullptr, address);
        EXPECT_EQ(-3, callFakeLaunch(address));
    }
    EXPECT_TRUE(library.released());

    // The Dll it came from as a temporary, the way the launch does it.
    {
        const DllFunction<void*> func{Dll(path), "JLI_Launch"};
        ASSERT_TRUE(isLoaded(path));
        EXPECT_EQ(-3, callFakeLaunch(func));
    }
    EXPECT_TRUE(library.released());
}

// freeLibrary ignores null and closes a real handle.
TEST(Dll, FreeLibrary) {
    Dll::freeLibrary(nullptr);
    const std::string path = testing_support::noLaunchLibPath();
    const LoadWatch library(path);
    void* h = dlopen(path.c_str(), RTLD_LAZY);
    ASSERT_NE(nullptr, h);
    ASSERT_TRUE(isLoaded(path));
    Dll::freeLibrary(h);
    EXPECT_TRUE(library.released());
}
