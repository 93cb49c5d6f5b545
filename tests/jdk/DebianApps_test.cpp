// Applications as Debian installs them, assembled straight from their
// installed folders (whose jars are links into /usr/share/java and whose
// configuration is a link into /etc) and started beside their own scripts:
// Ant and Maven on the command line, jEdit's window under Xvfb. Each runs
// on JDK 17, the runtime the scripts pick on this system; each is skipped,
// saying why, when its package, the JDK or Xvfb is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "JdkSupport.h"

extern char** environ;

namespace jdk_tests {
namespace {

typedef std::vector<std::string> Strings;

// The home of a JDK 17 of the machine, by its release file; empty if none.
std::string jdk17() {
    for (const Jdk& jdk : machineJdks()) {
        std::ifstream release(jdk.home + "/release");
        std::string line;
        while (std::getline(release, line)) {
            if (line.rfind("JAVA_VERSION=\"17", 0) == 0) {
                return jdk.home;
            }
        }
    }
    return std::string();
}

ProcessOptions plain(const std::string& cwd, const std::string& home) {
    ProcessOptions options;
    options.setEnv("LC_ALL", "C.UTF-8")
            .setEnv("HOME", home)
            .setEnv("JAVA_HOME", jdk17())
            .unsetEnv("JDK_JAVA_OPTIONS")
            .unsetEnv("JAVA_TOOL_OPTIONS")
            .unsetEnv("_JAVA_OPTIONS")
            .unsetEnv("CLASSPATH")
            .unsetEnv("ANT_HOME")
            .unsetEnv("MAVEN_OPTS")
            .unsetEnv("VANTRY_DEBUG");
    options.cwd = cwd;
    options.timeoutSeconds = 180;
    return options;
}

ProcessResult run(const std::string& program, const Strings& args,
                  const ProcessOptions& options) {
    Strings argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(program, argv, options);
}

// `text` without the lines that contain `noise`.
std::string without(const std::string& text, const std::string& noise) {
    std::istringstream in(text);
    std::string line, kept;
    while (std::getline(in, line)) {
        if (line.find(noise) == std::string::npos) {
            kept += line + "\n";
        }
    }
    return kept;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

class DebianApps : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_IF_SLOW_LEFT_OUT();
        if (jdk17().empty()) {
            GTEST_SKIP() << "No JDK 17 on this machine (Debian: "
                            "openjdk-17-jdk-headless)";
        }
    }

    void requirePackage(const std::string& folder, const std::string& script,
                        const std::string& package) {
        if (!exists(folder) || !exists(script)) {
            GTEST_SKIP() << folder << " or " << script << " is missing "
                         << "(Debian: " << package << ")";
        }
    }

    // Assembles `description` (its [Bundle] gets the name, the content
    // and JDK 17 as the runtime) as an image; returns its launcher.
    std::string assemble(const std::string& name, const std::string& content,
                         const std::string& description) {
        const std::string cfg = temp.path() + "/" + name + ".cfg";
        writeFile(cfg, description + "\n[Bundle]\nbundle.name=" + name
                               + "\nbundle.content=" + content
                               + "\nbundle.runtime=" + jdk17() + "\n");
        const std::string out = temp.path() + "/out";
        makeDirs(out);
        const ProcessResult r =
                run(assemblePath(), {cfg, "--target", "image", "--output", out},
                    plain(temp.path(), temp.path()));
        if (r.exitStatus != 0) {
            ADD_FAILURE() << "assembling " << name << ": " << r.err << r.out;
            return std::string();
        }
        return out + "/" + name + "/bin/" + name;
    }

    TempDir temp;
};

TEST_F(DebianApps, AntBuildsAsItsScriptDoes) {
    requirePackage("/usr/share/ant/lib", "/usr/bin/ant", "ant");
    const std::string ant = assemble("Ant", "/usr/share/ant",
        "[Application]\n"
        "app.classpath=$APPDIR/lib/ant-launcher.jar\n"
        "app.mainclass=org.apache.tools.ant.launch.Launcher\n"
        "[JavaOptions]\n"
        "java-options=-Dant.home=$APPDIR\n"
        "java-options=-Dant.library.dir=$APPDIR/lib\n"
        "java-options=-Djava.security.manager=allow\n");
    ASSERT_FALSE(ant.empty());
    const std::string project = temp.path() + "/project";
    writeFile(project + "/build.xml",
              "<project default=\"greet\">\n"
              "  <target name=\"greet\"><echo>hello ${java.specification.version}"
              "</echo><mkdir dir=\"made\"/></target>\n"
              "  <target name=\"broken\"><fail message=\"broken on purpose\"/>"
              "</target>\n</project>\n");
    const ProcessOptions options = plain(project, temp.path());
    for (const Strings& args : {Strings{"-version"}, Strings{"-q"},
                                Strings{"-q", "broken"}}) {
        const ProcessResult script = run("/usr/bin/ant", args, options);
        const ProcessResult app = run(ant, args, options);
        EXPECT_EQ(app.exitStatus, script.exitStatus) << app.err;
        EXPECT_EQ(without(app.out, "Total time"),
                  without(script.out, "Total time")) << app.err;
        EXPECT_EQ(without(app.err, "Total time"),
                  without(script.err, "Total time"));
    }
    EXPECT_TRUE(exists(project + "/made"));
}

TEST_F(DebianApps, MavenValidatesAsItsScriptDoes) {
    requirePackage("/usr/share/maven/lib", "/usr/bin/mvn", "maven");
    // The script computes the project's folder at each start (it looks
    // upwards for .mvn); the launcher's options are fixed, so the working
    // folder stands for it.
    const std::string mvn = assemble("Maven", "/usr/share/maven",
        "[Application]\n"
        "app.classpath=$APPDIR/boot/plexus-classworlds-2.x.jar\n"
        "app.mainclass=org.codehaus.plexus.classworlds.launcher.Launcher\n"
        "[JavaOptions]\n"
        "java-options=-Dclassworlds.conf=$APPDIR/bin/m2.conf\n"
        "java-options=-Dmaven.home=$APPDIR\n"
        "java-options=-Dlibrary.jansi.path=$APPDIR/lib/jansi-native\n"
        "java-options=-Dmaven.multiModuleProjectDirectory=.\n");
    ASSERT_FALSE(mvn.empty());
    const std::string good = temp.path() + "/good", bad = temp.path() + "/bad";
    writeFile(good + "/pom.xml",
              "<project><modelVersion>4.0.0</modelVersion><groupId>t</groupId>"
              "<artifactId>t</artifactId><version>1</version>"
              "<packaging>pom</packaging></project>\n");
    writeFile(bad + "/pom.xml", "<project><modelVersion>4.0.0</modelVersion>\n");
    const Strings validate{"-o", "-B", "-q", "validate"};
    for (const std::string& dir : {good, bad}) {
        const ProcessOptions options = plain(dir, temp.path());
        const ProcessResult script = run("/usr/bin/mvn", validate, options);
        const ProcessResult app = run(mvn, validate, options);
        EXPECT_EQ(app.exitStatus, script.exitStatus) << app.out << app.err;
        EXPECT_EQ(app.err, script.err);
    }
    const ProcessOptions options = plain(good, temp.path());
    const ProcessResult script = run("/usr/bin/mvn", {"-B", "-v"}, options);
    const ProcessResult app = run(mvn, {"-B", "-v"}, options);
    EXPECT_EQ(app.exitStatus, 0) << app.err;
    EXPECT_EQ(firstLine(app.out), firstLine(script.out));
    EXPECT_NE(app.out.find("runtime: " + canonicalPath(temp.path()) + "/out/Maven"),
              std::string::npos) << app.out;
}

// A process in a group of its own, ended with the group.
class Background {
public:
    Background(const Strings& argv, const Strings& env) {
        std::vector<char*> args, envp;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, args[0], &actions, &attr, args.data(),
                        envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    ~Background() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

private:
    pid_t pid_ = -1;
};

// This process's environment with `more` added or replaced.
Strings environmentWith(const Strings& more) {
    Strings env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const std::string& m : more) {
            replaced = replaced || entry.substr(0, entry.find('=') + 1)
                                           == m.substr(0, m.find('=') + 1);
        }
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), more.begin(), more.end());
    return env;
}

// The names of the top windows of `display` that a process shows within
// a minute, once one holds `word` and is more than a pixel wide.
std::string windowTitle(const std::string& display, const std::string& word) {
    for (int tries = 0; tries < 120; ++tries) {
        ProcessOptions options;
        options.setEnv("DISPLAY", display);
        const ProcessResult tree =
                runProcess("/usr/bin/xwininfo", {"xwininfo", "-root", "-children"},
                           options);
        std::istringstream in(tree.out);
        std::string line;
        while (std::getline(in, line)) {
            const std::size_t open = line.find('"');
            const std::size_t close = line.find('"', open + 1);
            if (open == std::string::npos || close == std::string::npos) continue;
            const std::string title = line.substr(open + 1, close - open - 1);
            if (title.find(word) != std::string::npos
                    && line.find(" 1x1+") == std::string::npos) {
                return title;
            }
        }
        ::usleep(500 * 1000);
    }
    return std::string();
}

TEST_F(DebianApps, JEditShowsTheWindowItsScriptShows) {
    requirePackage("/usr/share/jedit/jedit.jar", "/usr/bin/jedit", "jedit");
    if (!exists("/usr/bin/Xvfb") || !exists("/usr/bin/xwininfo")) {
        GTEST_SKIP() << "Xvfb or xwininfo is missing (Debian: xvfb, x11-utils)";
    }
    const std::string jedit = assemble("jEdit", "/usr/share/jedit",
                                       "[Application]\n"
                                       "app.mainjar=$APPDIR/jedit.jar\n");
    ASSERT_FALSE(jedit.empty());
    std::string titles[2];
    const std::string programs[2] = {"/usr/bin/jedit", jedit};
    for (int i = 0; i < 2; ++i) {
        // A display of its own each time, numbered by this process.
        const std::string display = ":" + std::to_string(100 + ::getpid() % 400 + i);
        Background xvfb({"/usr/bin/Xvfb", display, "-screen", "0", "1024x768x24",
                         "-nolisten", "tcp"}, environmentWith({}));
        ASSERT_TRUE(xvfb.started());
        const std::string home = temp.path() + "/home" + std::to_string(i);
        makeDirs(home);
        Background app({programs[i], "-nosplash", "-noserver", "-nosettings"},
                       environmentWith({"DISPLAY=" + display, "HOME=" + home,
                                        "JAVA_HOME=" + jdk17()}));
        ASSERT_TRUE(app.started());
        titles[i] = windowTitle(display, "jEdit");
    }
    EXPECT_NE(titles[0], "") << "the script showed no window";
    EXPECT_EQ(titles[1], titles[0]);
}

} // namespace
} // namespace jdk_tests
