// Jvm::launch against the substitute runtime library: what JLI_Launch
// receives, the failures on the way and the release of the library.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "LogCapture.h"
#include "TestSupport.h"

using testing_support::FakeJliCall;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::RecordingSink;
using testing_support::isLoaded;
using testing_support::LoadWatch;

namespace {

// The substitute library steered for one test: records into a file in a
// temporary directory and returns `result`.
class FakeJliSession {
public:
    explicit FakeJliSession(const char* result = nullptr) {
        env.set("FAKE_JLI_RECORD", recordPath().c_str());
        env.set("FAKE_JLI_ENV", "JVMLAUNCH_T_A,JVMLAUNCH_T_B,JVMLAUNCH_T_C");
        env.set("FAKE_JLI_RESULT", result);
        env.set("FAKE_JLI_REENTER", nullptr);
        env.set("FAKE_JLI_STDOUT", nullptr);
        env.set("VANTRY_DEBUG", nullptr);
        // The variables the Jvm sets are put back after the test.
        env.set("JVMLAUNCH_T_A", nullptr);
        env.set("JVMLAUNCH_T_B", "before");
        env.set("JVMLAUNCH_T_C", nullptr);
    }

    std::string recordPath() const { return dir / "record"; }

    std::vector<FakeJliCall> calls() const {
        return testing_support::readFakeJliRecord(recordPath());
    }

private:
    TempDir dir;
    ScopedEnv env;
};

const StringArray kArgs = {
    "/Applications/My App.app/Contents/MacOS/My App",
    "",
    "-Dq=\"a b\" 'c'",
    "line\nbreak\ttab",
    "\xc3\xa4\xff\x01",
    "-jar",
    "app.jar",
};

void fill(Jvm& jvm, const std::string& lib) {
    jvm.setPath(lib);
    for (const std::string& a : kArgs) {
        jvm.addArgument(a);
    }
    jvm.addEnvVariable("JVMLAUNCH_T_A", "/app:/more");
    jvm.addEnvVariable("JVMLAUNCH_T_B", "");
}

void expectConstantParameters(const FakeJliCall& call) {
    const std::map<std::string, std::string> expected = {
        {"argv-end", "null"},
        {"jargc", "0"}, {"jargv", "null"},
        {"appclassc", "0"}, {"appclassv", "null"},
        {"fullversion", ""}, {"dotversion", ""},
        {"pname", "java"}, {"lname", "java"},
        {"javaargs", "0"}, {"cpwildcard", "0"}, {"javaw", "0"}, {"ergo", "0"},
    };
    for (const auto& field : expected) {
        const auto it = call.fields.find(field.first);
        ASSERT_NE(call.fields.end(), it) << field.first;
        EXPECT_EQ(field.second, it->second) << field.first;
        // The strings are real strings, not null pointers.
        EXPECT_FALSE(call.nullFields.at(field.first)) << field.first;
    }
}

std::string rawMessageOf(Jvm& jvm) {
    try {
        jvm.launch();
    } catch (const VtError<std::runtime_error>& e) {
        return e.rawMessage();
    }
    ADD_FAILURE() << "launch did not throw";
    return std::string();
}

} // namespace

// A successful launch hands JLI_Launch every argument byte for byte, the
// twelve constant parameters and the variables, traces its steps and
// releases the library.
TEST(JvmLaunch, SuccessPassesEverything) {
    RecordingSink quiet;
    FakeJliSession fake;
    Jvm jvm;
    fill(jvm, testing_support::fakeJliPath());
    const LoadWatch library(testing_support::fakeJliPath());

    RecordingSink sink;
    ASSERT_NO_THROW(jvm.launch());

    const std::vector<FakeJliCall> calls = fake.calls();
    ASSERT_EQ(1u, calls.size());
    const FakeJliCall& call = calls[0];
    EXPECT_EQ(kArgs, call.args);
    EXPECT_EQ(std::to_string(kArgs.size()), call.fields.at("argc"));
    expectConstantParameters(call);
    EXPECT_EQ("/app:/more", call.fields.at("env JVMLAUNCH_T_A"));
    // Set to empty, overwriting the earlier value.
    EXPECT_EQ("", call.fields.at("env JVMLAUNCH_T_B"));
    EXPECT_FALSE(call.nullFields.at("env JVMLAUNCH_T_B"));
    EXPECT_TRUE(call.nullFields.at("env JVMLAUNCH_T_C"));
    // The variables stay set in the process.
    ASSERT_NE(nullptr, std::getenv("JVMLAUNCH_T_A"));
    EXPECT_STREQ("/app:/more", std::getenv("JVMLAUNCH_T_A"));

    EXPECT_TRUE(library.released());

    std::vector<std::string> messages;
    for (const LogEvent& e : sink.events) {
        messages.push_back(e.message);
    }
    ASSERT_EQ(4u, messages.size());
    EXPECT_EQ(0u, messages[0].find("Need "));
    EXPECT_EQ(messages[0], messages[1]);
    EXPECT_EQ(0u, messages[2].find("Initialized "));
    EXPECT_EQ("JVM library: \"" + testing_support::fakeJliPath() + "\"",
              messages[3]);
    EXPECT_EQ("launch", sink.events[3].functionName);
    EXPECT_EQ("JvmLauncher.cpp", sink.events[3].sourceFile);
    EXPECT_EQ("TRACE", sink.events[3].levelName);
}

// Any result other than 0 is a failure, after the call took place; the
// library is released all the same.
TEST(JvmLaunch, NonZeroResultFails) {
    RecordingSink quiet;
    for (const char* result : {"1", "-1", "7"}) {
        SCOPED_TRACE(result);
        FakeJliSession fake(result);
        const LoadWatch library(testing_support::fakeJliPath());
        Jvm jvm;
        fill(jvm, testing_support::fakeJliPath());
        try {
            jvm.launch();
            ADD_FAILURE() << "launch did not throw";
        } catch (const VtError<std::runtime_error>& e) {
            EXPECT_STREQ("Failed to launch JVM", e.rawMessage());
            const std::string what = e.what();
            EXPECT_EQ(0u, what.find("JvmLauncher.cpp(")) << what;
            EXPECT_NE(std::string::npos,
                      what.find(") at launch(): Failed to launch JVM"))
                    << what;
        }
        const std::vector<FakeJliCall> calls = fake.calls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(kArgs, calls[0].args);
        EXPECT_TRUE(library.released());
    }
}

// A library without JLI_Launch, a file that is not a library and a missing
// file fail with the loader's messages, before anything is called.
TEST(JvmLaunch, LibraryFailures) {
    RecordingSink quiet;
    FakeJliSession fake;
    TempDir dir;
    const std::string text = dir / "libjli.dylib";
    testing_support::writeFile(text, "not a library\n");
    const std::string missing = dir / "missing/libjli.dylib";

    {
        const LoadWatch library(testing_support::noLaunchLibPath());
        Jvm jvm;
        fill(jvm, testing_support::noLaunchLibPath());
        const std::string msg = rawMessageOf(jvm);
        const std::string prefix = "dlsym(" + testing_support::noLaunchLibPath()
                + ", JLI_Launch) failed. Error: ";
        EXPECT_EQ(prefix, msg.substr(0, prefix.size()));
        EXPECT_GT(msg.size(), prefix.size());
        EXPECT_TRUE(library.released());
    }
    for (const std::string& path : {text, missing}) {
        Jvm jvm;
        fill(jvm, path);
        const std::string msg = rawMessageOf(jvm);
        const std::string prefix = "dlopen(" + path + ") failed. Error: ";
        EXPECT_EQ(prefix, msg.substr(0, prefix.size()));
        const std::string loaderText = msg.substr(prefix.size());
        EXPECT_NE(std::string::npos, loaderText.find(path)) << loaderText;
    }
    // JLI_Launch was never reached and no variable was set.
    EXPECT_THROW(fake.calls(), std::runtime_error);
    EXPECT_EQ(nullptr, std::getenv("JVMLAUNCH_T_A"));
}

// Launching twice, as a re-entry of main does, builds the same call again
// and leaves the Jvm as it was.
TEST(JvmLaunch, TwiceGivesIdenticalCalls) {
    RecordingSink quiet;
    FakeJliSession fake;
    Jvm jvm;
    fill(jvm, testing_support::fakeJliPath());
    const StringArray before = jvm.getArguments();
    ASSERT_NO_THROW(jvm.launch());
    ASSERT_NO_THROW(jvm.launch());

    const std::vector<FakeJliCall> calls = fake.calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(kArgs, calls[0].args);
    EXPECT_EQ(calls[0].args, calls[1].args);
    EXPECT_EQ(calls[0].fields, calls[1].fields);
    EXPECT_EQ(calls[0].nullFields, calls[1].nullFields);
    EXPECT_EQ(before, jvm.getArguments());
    EXPECT_EQ("/app:/more", calls[1].fields.at("env JVMLAUNCH_T_A"));
}
