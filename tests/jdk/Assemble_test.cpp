// applauncher-assemble with the machine's JDKs: the sample application and
// a modular application (in a jar whose name is not its module's, so that
// only its module-info tells the module), assembled as a bundle and as an
// image, started through their launchers; each prints what `java` prints
// for the same application. The sample runs on a small runtime that jlink makes once per
// JDK and the command copies; the modular application gets a runtime that
// the command links itself; one image copies a whole JDK.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "JdkSupport.h"

namespace jdk_tests {
namespace {

typedef std::vector<std::string> Strings;

const char* const targets[] = {"bundle", "image"};

ProcessResult run(const std::string& program, const Strings& args) {
    Strings argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(program, argv, quietOptions(180));
}

// The sample and the modular application, built once per process with
// the JDK's javac and jar, and one small runtime per JDK.
struct Apps {
    std::unique_ptr<TempDir> dir;
    std::string error;
};

const Apps& apps(const Jdk& jdk) {
    static std::map<std::string, Apps> built;
    Apps& a = built[jdk.home];
    if (a.dir) {
        return a;
    }
    a.dir.reset(new TempDir());
    const std::string d = a.dir->path(), bin = jdk.home + "/bin/";
    writeFile(d + "/hello/src/module-info.java", "module hello.app {}\n");
    writeFile(d + "/hello/src/hello/Main.java",
              "package hello;\npublic class Main {\n"
              "  public static void main(String[] args) {\n"
              "    System.out.println(Main.class.getModule().getName());\n"
              "    System.out.println(System.getProperty(\"hello.x\"));\n"
              "    for (String a : args) System.out.println(\"arg \" + a);\n"
              "  }\n}\n");
    const std::vector<Strings> steps{
        {bin + "javac", "--release", "11", "-d", d + "/classes",
         sourceDir() + "/sample/src/demo/Main.java"},
        {bin + "jar", "--create", "--file", d + "/sample/target/demo.jar",
         "--main-class", "demo.Main", "-C", d + "/classes", "."},
        {bin + "javac", "--release", "11", "-d", d + "/hello/classes",
         d + "/hello/src/module-info.java", d + "/hello/src/hello/Main.java"},
        {bin + "jar", "--create", "--file", d + "/hello/app/mods/hello-1.0.jar",
         "-C", d + "/hello/classes", "."},
        {bin + "jlink", "--add-modules", "java.base", "--output", d + "/small",
         "--no-header-files", "--no-man-pages"},
    };
    makeDirs(d + "/sample/target");
    makeDirs(d + "/hello/app/mods");
    for (const Strings& step : steps) {
        const ProcessResult r =
                run(step[0], Strings(step.begin() + 1, step.end()));
        if (r.exitStatus != 0) {
            a.error = step[0] + " failed: " + r.err + r.out;
            break;
        }
    }
    return a;
}

// The lines that name where the application lies differ between the
// launcher and `java`; everything else must be the same.
std::string withoutLocations(const std::string& out) {
    std::string kept;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        end = end == std::string::npos ? out.size() : end + 1;
        const std::string line = out.substr(start, end - start);
        if (line.find("vantry.app-path") == std::string::npos
                && line.find("java.class.path") == std::string::npos
                && line.find("java.home") == std::string::npos) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

std::string executableOf(const std::string& out, const std::string& target,
                         const std::string& name) {
    return target == "bundle" ? out + "/" + name + ".app/Contents/MacOS/" + name
                              : out + "/" + name + "/bin/" + name;
}

class AssembleOnJdk : public ::testing::TestWithParam<Jdk> {
protected:
    void SetUp() override {
        if (GetParam().home.empty()) {
            GTEST_SKIP() << noJdkReason;
        }
        SKIP_IF_JDK_LEFT_OUT(GetParam());
        if (!apps(GetParam()).error.empty()) {
            FAIL() << apps(GetParam()).error;
        }
    }

    std::string dir() const { return apps(GetParam()).dir->path(); }

    // Assembles `description` for `target` into a new folder; returns the
    // launcher's path.
    std::string assemble(const std::string& description,
                         const std::string& target, const std::string& name) {
        const std::string out = temp / target;
        makeDirs(out);
        // Linked runtimes are kept in this test's cache, not the user's.
        ProcessOptions options = quietOptions(180);
        options.setEnv("XDG_CACHE_HOME", temp / "cache");
        const ProcessResult r = runProcess(
                assemblePath(), {assemblePath(), description, "--target",
                                 target, "--output", out}, options);
        EXPECT_EQ(r.exitStatus, 0) << r.err << r.out;
        EXPECT_EQ(r.err + r.out, "");
        return executableOf(out, target, name);
    }

    TempDir temp;
};

TEST_P(AssembleOnJdk, SampleStartsInBothTargetsAsUnderJava) {
    const std::string description = dir() + "/sample/demo.cfg";
    writeFile(description,
              "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
              "[JavaOptions]\njava-options=-Ddemo.greeting=Hello from Demo.cfg\n"
              "[Bundle]\nbundle.name=Demo\nbundle.identifier=com.example.demo\n"
              "bundle.content=target/demo.jar\nbundle.runtime=../small\n");
    const ProcessResult java = run(GetParam().home + "/bin/java",
            {"-Ddemo.greeting=Hello from Demo.cfg", "-jar",
             dir() + "/sample/target/demo.jar", "a b", "\xc3\xbc"});
    ASSERT_EQ(java.exitStatus, 0) << java.err;
    for (const char* target : targets) {
        const ProcessResult app = run(assemble(description, target, "Demo"),
                                      {"a b", "\xc3\xbc"});
        EXPECT_EQ(app.exitStatus, 0) << target << app.err;
        EXPECT_EQ(withoutLocations(app.out), withoutLocations(java.out)) << target;
        EXPECT_NE(app.out.find("java.home = " + temp.path()), std::string::npos)
                << target << ": not started on the assembled runtime\n" << app.out;
    }
}

TEST_P(AssembleOnJdk, ModularApplicationOnALinkedRuntimeInBothTargets) {
    const std::string description = dir() + "/hello/hello.cfg";
    writeFile(description,
              "[Application]\napp.mainmodule=hello.app/hello.Main\n"
              "app.modulepath=$APPDIR/mods\n"
              "[JavaOptions]\njava-options=-Dhello.x=1\n"
              "[Bundle]\nbundle.name=Hello\nbundle.identifier=com.example.hello\n"
              "bundle.content=app\nbundle.modules=java.base\n"
              "bundle.jdk=" + GetParam().home + "\n");
    const ProcessResult java = run(GetParam().home + "/bin/java",
            {"-Dhello.x=1", "-p", dir() + "/hello/app/mods", "-m",
             "hello.app/hello.Main", "x"});
    ASSERT_EQ(java.exitStatus, 0) << java.err;
    ASSERT_EQ(java.out, "hello.app\n1\narg x\n");
    for (const char* target : targets) {
        const std::string launcher = assemble(description, target, "Hello");
        const ProcessResult app = run(launcher, {"x"});
        EXPECT_EQ(app.exitStatus, 0) << target << app.err;
        EXPECT_EQ(app.out, java.out) << target;
        // The linked runtime holds java.base alone and its own class data
        // archive, so that starts map the JDK's classes.
        const std::string home = std::string(target) == "bundle"
                ? temp / "bundle/Hello.app/Contents/runtime/Contents/Home"
                : temp / "image/Hello/lib/runtime";
        EXPECT_NE(readFile(home + "/release").find("MODULES=\"java.base\""),
                  std::string::npos) << target;
        struct stat st;
        EXPECT_EQ(stat((home + "/lib/server/classes.jsa").c_str(), &st), 0)
                << target;
    }
}

// One copy of a whole JDK: Debian's link files of conf/ and lib/security
// into /etc, and any other link out of the JDK, become copies.
TEST(AssembleWholeJdk, CopiesLinksOutOfTheRuntimeAsFiles) {
    SKIP_IF_SLOW_LEFT_OUT();
    if (machineJdks().empty()) {
        GTEST_SKIP() << "No JDK on this machine";
    }
    const Jdk& jdk = machineJdks().front();
    const Apps& a = apps(jdk);
    ASSERT_EQ(a.error, "");
    TempDir temp;
    writeFile(temp / "demo.cfg",
              "[Application]\napp.mainjar=$APPDIR/demo.jar\n[Bundle]\n"
              "bundle.name=Demo\nbundle.content=" + a.dir->path()
              + "/sample/target/demo.jar\nbundle.runtime=" + jdk.home + "\n");
    const ProcessResult r = run(assemblePath(), {temp / "demo.cfg", "--target",
                                                 "image", "--output", temp.path()});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string home = temp / "Demo/lib/runtime";
    const std::string security = "conf/security/java.security";
    struct stat st;
    ASSERT_EQ(lstat((home + "/" + security).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(readFile(home + "/" + security), readFile(jdk.home + "/" + security));
    const ProcessResult app = run(temp / "Demo/bin/Demo", {});
    EXPECT_EQ(app.exitStatus, 0) << app.err;
    EXPECT_NE(app.out.find("java.home = " + home), std::string::npos) << app.out;
}

INSTANTIATE_TEST_SUITE_P(Jdks, AssembleOnJdk, ::testing::ValuesIn(jdkParams()),
        [](const ::testing::TestParamInfo<Jdk>& info) {
            return info.param.label;
        });

} // namespace
} // namespace jdk_tests
