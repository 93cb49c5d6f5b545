// The descriptions in the documentation's examples (fenced blocks of
// README.md and doc/*.md that hold a [Bundle] section, or a here-document
// with one) assemble and start, on every JDK of the machine. Paths of
// another machine are replaced: bundle.runtime by a small runtime linked
// from the JDK under test, bundle.jdk by that JDK; the files an example
// names are made: its jars (with the main class its [Application] names,
// and, where its class path takes the jars of a folder, a library that the
// main class needs), the modular jar on its module path and its icon.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "JdkSupport.h"
#include "TestImages.h"

namespace jdk_tests {
namespace {

typedef std::vector<std::string> Strings;

struct Example {
    std::string where;
    std::string text;
};

Strings linesOf(const std::string& text) {
    Strings lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The description in a fenced block: the block itself, or the
// here-document in it; empty when it holds no [Bundle] section.
std::string descriptionIn(const Strings& block) {
    std::string text, terminator;
    bool inDocument = false;
    for (const std::string& line : block) {
        const std::size_t here = line.find("<<'");
        if (!inDocument && here != std::string::npos) {
            terminator = line.substr(here + 3, line.find('\'', here + 3) - here - 3);
            inDocument = true;
            text.clear();
        } else if (inDocument && line == terminator) {
            break;
        } else {
            text += line + "\n";
        }
    }
    return text.find("\n[Bundle]\n") != std::string::npos
                   || startsWith(text, "[Bundle]\n") ? text : std::string();
}

std::vector<Example> examples() {
    Strings files{"README.md"};
    if (DIR* dir = opendir((sourceDir() + "/doc").c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0) {
                files.push_back("doc/" + name);
            }
        }
        closedir(dir);
    }
    std::sort(files.begin() + 1, files.end());
    std::vector<Example> found;
    for (const std::string& file : files) {
        std::ifstream in(sourceDir() + "/" + file);
        Strings block;
        bool fenced = false;
        int number = 0, start = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            if (!startsWith(line, "```")) {
                block.push_back(line);
                continue;
            }
            if (fenced) {
                const std::string text = descriptionIn(block);
                if (!text.empty()) {
                    found.push_back({file + ":" + std::to_string(start), text});
                }
            }
            fenced = !fenced;
            start = number;
            block.clear();
        }
    }
    return found;
}

// The values of `key` in the example's text, in order.
Strings valuesOf(const std::string& text, const std::string& key) {
    Strings values;
    for (const std::string& line : linesOf(text)) {
        if (startsWith(line, key + "=")) {
            values.push_back(line.substr(key.size() + 1));
        }
    }
    return values;
}

std::string lastOf(const std::string& text, const std::string& key) {
    const Strings values = valuesOf(text, key);
    return values.empty() ? std::string() : values.back();
}

// The size an icon's file name gives ("demo-1024.png"); 256 without one.
std::uint32_t iconSize(const std::string& path) {
    const std::size_t dash = path.rfind('-');
    const int size = dash == std::string::npos ? 0 : std::atoi(path.c_str() + dash + 1);
    return size > 0 ? static_cast<std::uint32_t>(size) : 256;
}

// Builds what one example needs in `src` with the JDK's javac and jar.
class Maker {
public:
    Maker(const Jdk& jdk, const std::string& text, const std::string& src)
        : bin(jdk.home + "/bin/"), text(text), src(src) {
        const std::string module = lastOf(text, "app.mainmodule");
        moduleName = module.substr(0, module.find('/'));
        mainClass = !module.empty() ? module.substr(module.find('/') + 1)
                : !lastOf(text, "app.mainclass").empty()
                        ? lastOf(text, "app.mainclass") : "demo.Main";
        for (const std::string& entry : valuesOf(text, "app.classpath")) {
            if (entry.size() > 2 && entry.compare(entry.size() - 2, 2, "/*") == 0) {
                libraryDir = entry.substr(0, entry.size() - 2);
            }
        }
    }

    // Every file of the example's bundle.content, bundle.icon and
    // bundle.copyright.
    void make() {
        std::string folder;
        for (const std::string& item : valuesOf(text, "bundle.content")) {
            if (item.size() > 4 && item.compare(item.size() - 4, 4, ".jar") == 0) {
                mainJar(src + "/" + item, "");
            } else if (folder.empty()) {
                folder = src + "/" + item;
                makeDirs(folder);
            }
        }
        for (const std::string& path : valuesOf(text, "app.modulepath")) {
            mainJar(inFolder(folder, path) + "/" + moduleName + ".jar", moduleName);
        }
        if (!libraryDir.empty()) {
            jar(inFolder(folder, libraryDir) + "/dep.jar", "dep/Dep.java",
                "package dep;\npublic class Dep {\n  public static String name() "
                "{ return \"" + mainClass + "\"; }\n}\n", "");
        }
        for (const std::string& icon : valuesOf(text, "bundle.icon")) {
            writeFile(src + "/" + icon,
                      pngImage(iconSize(icon), iconSize(icon), 0x80808080));
        }
        for (const std::string& notice : valuesOf(text, "bundle.copyright")) {
            writeFile(src + "/" + notice, "Copyright 2026 Example Ltd.\n"
                                          "Licensed under the MIT licence.\n");
        }
    }

    std::string error;
    std::string mainClass;

private:
    // `path` ("$APPDIR/x") inside the content folder.
    static std::string inFolder(const std::string& folder, const std::string& path) {
        return folder + "/" + path.substr(std::string("$APPDIR/").size());
    }

    void mainJar(const std::string& path, const std::string& module) {
        const std::string package = mainClass.substr(0, mainClass.rfind('.'));
        const std::string simple = mainClass.substr(mainClass.rfind('.') + 1);
        const std::string name = libraryDir.empty() ? "\"" + mainClass + "\""
                                                    : "dep.Dep.name()";
        jar(path, package + "/" + simple + ".java",
            "package " + package + ";\npublic class " + simple + " {\n"
            "  public static void main(String[] args) {\n"
            "    System.out.println(\"started \" + " + name + ");\n  }\n}\n",
            module);
    }

    void jar(const std::string& path, const std::string& source,
             const std::string& code, const std::string& module) {
        const std::string work = path + ".build";
        writeFile(work + "/src/" + source, code);
        Strings javac{bin + "javac", "--release", "11", "-d", work + "/classes"};
        if (!libraryDir.empty() && source != "dep/Dep.java") {
            javac.insert(javac.end(), {"-cp", work + "/dep"});
            writeFile(work + "/dep/dep/Dep.java", "package dep;\npublic class Dep "
                      "{\n  public static String name() { return null; }\n}\n");
            run({bin + "javac", "--release", "11", "-d", work + "/dep",
                 work + "/dep/dep/Dep.java"});
        }
        if (!module.empty()) {
            writeFile(work + "/src/module-info.java", "module " + module + " {}\n");
            javac.push_back(work + "/src/module-info.java");
        }
        javac.push_back(work + "/src/" + source);
        run(javac);
        makeDirs(path.substr(0, path.rfind('/')));
        run({bin + "jar", "--create", "--file", path, "--main-class", mainClass,
             "-C", work + "/classes", "."});
        run({"/bin/rm", "-rf", work});
    }

    void run(const Strings& command) {
        if (!error.empty()) {
            return;
        }
        const ProcessResult r = runProcess(command[0], command, quietOptions(300));
        if (r.exitStatus != 0) {
            error = command[0] + " failed: " + r.err + r.out;
        }
    }

    const std::string bin;
    const std::string text;
    const std::string src;
    std::string moduleName;
    std::string libraryDir;
};

std::string withThisMachinesPaths(const std::string& text,
                                  const std::string& runtime,
                                  const std::string& jdk) {
    std::string result;
    for (const std::string& line : linesOf(text)) {
        result += startsWith(line, "bundle.runtime=") ? "bundle.runtime=" + runtime
                : startsWith(line, "bundle.jdk=") ? "bundle.jdk=" + jdk : line;
        result += "\n";
    }
    return result;
}

class ReadmeExamples : public ::testing::TestWithParam<Jdk> {};

TEST_P(ReadmeExamples, AssembleAndStart) {
    if (GetParam().home.empty()) {
        GTEST_SKIP() << noJdkReason;
    }
    SKIP_IF_JDK_LEFT_OUT(GetParam());
    const std::vector<Example> found = examples();
    // The quick start, the jar, the modular and the image example at least.
    ASSERT_GE(found.size(), 4u);
    std::string error;
    const std::string runtime = smallRuntime(GetParam(), error);
    ASSERT_EQ(error, "");
    for (const Example& example : found) {
        SCOPED_TRACE(example.where);
        TempDir temp;
        Maker maker(GetParam(), example.text, temp / "src");
        maker.make();
        ASSERT_EQ(maker.error, "");
        writeFile(temp / "src/demo.cfg",
                  withThisMachinesPaths(example.text, runtime, GetParam().home));
        // A bundle when the example has what a bundle needs, an image when
        // it has no icon or one that an image takes.
        Strings targets;
        if (!lastOf(example.text, "bundle.identifier").empty()) {
            targets.push_back("bundle");
        }
        const Strings icons = valuesOf(example.text, "bundle.icon");
        if (icons.empty()
                || std::any_of(icons.begin(), icons.end(), [](const std::string& i) {
                       return iconSize(i) <= 512;
                   })) {
            targets.push_back("image");
        }
        const std::string name = lastOf(example.text, "bundle.name");
        for (const std::string& target : targets) {
            const std::string out = temp / target;
            makeDirs(out);
            const ProcessResult r = runProcess(assemblePath(),
                    {"applauncher-assemble", temp / "src/demo.cfg", "--target",
                     target, "--output", out}, quietOptions(300));
            ASSERT_EQ(r.exitStatus, 0) << target << ": " << r.err;
            EXPECT_EQ(r.out, "");
            const std::string launcher = target == "bundle"
                    ? out + "/" + name + ".app/Contents/MacOS/" + name
                    : out + "/" + name + "/bin/" + name;
            const ProcessResult app = runProcess(launcher, {launcher}, quietOptions(300));
            EXPECT_EQ(app.exitStatus, 0) << target << ": " << app.err;
            EXPECT_EQ(app.out, "started " + maker.mainClass + "\n") << target;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Jdks, ReadmeExamples, ::testing::ValuesIn(jdkParams()),
        [](const ::testing::TestParamInfo<Jdk>& info) {
            return info.param.label;
        });

} // namespace
} // namespace jdk_tests
