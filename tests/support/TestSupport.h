// Helpers shared by the tests: temporary directories that are always removed,
// files, running a program with its output captured, application bundles of
// the launcher and the records of the substitute runtime library.
#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

/// A new empty directory, removed with everything in it when this object is
/// destroyed, also when a test fails.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    /// `path()` joined with `relative`.
    std::string operator/(const std::string& relative) const;

private:
    std::string dir;
};

/// Writes `content` to `path`, creating the parent directories.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
void makeDirs(const std::string& path);
void makeSymlink(const std::string& target, const std::string& link);
void copyExecutable(const std::string& from, const std::string& to);
/// Changes the working directory for its lifetime and restores it
/// afterwards, also when the test fails half-way. Throws when `dir` cannot be
/// entered.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string saved;
};

/// The canonical path of an existing file (every link followed, "." and
/// ".." resolved); empty when there is none.
std::string canonicalPath(const std::string& path);

/// Sets or unsets environment variables for the life of the object and
/// restores the previous values afterwards.
class ScopedEnv {
public:
    ScopedEnv() {}
    ScopedEnv(const std::string& name, const char* value) { set(name, value); }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    /// A null value unsets the variable.
    void set(const std::string& name, const char* value);

private:
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved;
};

/// What a finished process left.
struct ProcessResult {
    /// The exit status, or -1 when it was killed by a signal.
    int exitStatus = -1;
    /// The signal that ended it, or 0.
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

/// Options of `runProcess`.
struct ProcessOptions {
    /// Variables to set (a value) or unset (no value) in the child.
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> env;
    /// The working directory; empty for the current one.
    std::string cwd;
    /// Killed after this many seconds.
    int timeoutSeconds = 60;
    /// A command to run the program under, such as valgrind with its
    /// options; the program's path and arguments follow it.
    std::vector<std::string> wrapper;

    ProcessOptions& setEnv(const std::string& name, const std::string& value) {
        env.push_back({name, {true, value}});
        return *this;
    }
    ProcessOptions& unsetEnv(const std::string& name) {
        env.push_back({name, {false, std::string()}});
        return *this;
    }
};

/// Runs `program` with `args` (args[0] is the program's argv[0]) and waits
/// for it, capturing both output streams.
ProcessResult runProcess(const std::string& program,
                         const std::vector<std::string>& args,
                         const ProcessOptions& options = ProcessOptions());

/// One call of the substitute runtime library's JLI_Launch.
struct FakeJliCall {
    int call = -1;
    std::vector<std::string> args;
    /// Every other field by key ("argc", "jargc", "pname", "env NAME", ...);
    /// a null value is recorded as the text "null".
    std::map<std::string, std::string> fields;
    /// True when a field was recorded as null rather than as a text.
    std::map<std::string, bool> nullFields;
};

/// The calls recorded in the file, in order; "reentry-result" fields end up
/// in the call they follow.
std::vector<FakeJliCall> readFakeJliRecord(const std::string& path);

/// The path of the substitute runtime library, of a library without
/// JLI_Launch, of a library that marks its loading (Foreign.c) and of the
/// launcher executable.
std::string fakeJliPath();
std::string noLaunchLibPath();
std::string foreignLibPath();
std::string launcherPath();
/// The assembly command applauncher-assemble, and the project's source tree.
std::string assemblePath();
std::string sourceDir();

} // namespace testing_support

#endif // TESTSUPPORT_H
