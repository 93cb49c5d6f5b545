#include "AssembleBench.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "FileChecks.h"
#include "MachOFiles.h"

extern char** environ;

namespace testing_support {

void writeFakeRuntime(const std::string& home, const std::string& os,
                      const std::string& arch, const std::string& lib) {
    writeFile(home + "/release", "JAVA_VERSION=\"17.0.1\"\nOS_NAME=\"" + os
              + "\"\nOS_ARCH=\"" + arch + "\"\nMODULES=\"java.base\"\n");
    copyExecutable(fakeJliPath(), home + "/" + lib);
}

void writeMacInputs(const std::string& dir, const std::string& launcherMark) {
    writeFile(dir + "/applauncher", thinMachO(cpuArm64) + launcherMark);
    writeFile(dir + "/mac.jdk/Contents/Home/release",
              "JAVA_VERSION=\"17\"\nOS_NAME=\"Darwin\"\nOS_ARCH=\"aarch64\"\n");
    writeFile(dir + "/mac.jdk/Contents/Home/lib/libjli.dylib",
              thinMachO(cpuArm64, 6));
}

LaunchResult startAssembled(const std::string& executable,
                            const std::string& dir) {
    const std::string record = dir + "/record";
    ProcessOptions options;
    options.setEnv("FAKE_JLI_RECORD", record)
            .setEnv("HOME", dir)
            .unsetEnv("VANTRY_DEBUG")
            .unsetEnv("LD_LIBRARY_PATH");
    unlink(record.c_str());
    LaunchResult result;
    result.process = runProcess(executable, {executable}, options);
    result.calls = readFakeJliRecord(record);
    return result;
}

StoppedAssembly stopWhileCopying(const std::string& description,
                                 const std::string& out,
                                 const std::string& name,
                                 const std::string& errPath) {
    StoppedAssembly run;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const char* argv[] = {"applauncher-assemble", description.c_str(),
                          "--output", out.c_str(), "--target", "image",
                          nullptr};
    pid_t child;
    const int spawned = posix_spawn(&child, assemblePath().c_str(), &files,
                                    nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        return run;
    }
    run.pid = child;
    const std::string buildPrefix = "." + name + ".assemble-";
    for (int i = 0; i < 20000 && !run.seen; ++i) {
        for (const std::string& entry : listDir(out)) {
            if (entry.rfind(buildPrefix, 0) == 0
                    && !listDir(out + "/" + entry + "/" + name
                                + "/lib/runtime/lib").empty()) {
                kill(child, SIGSTOP);
                run.seen = true;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    run.during = listDir(out);
    return run;
}

int endStopped(pid_t pid, int signal) {
    kill(pid, signal);
    kill(pid, SIGCONT);
    int status = 0;
    return waitpid(pid, &status, 0) == pid ? status : -1;
}

} // namespace testing_support
