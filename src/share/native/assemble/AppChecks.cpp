#include "AppChecks.h"

#include <algorithm>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JarManifest.h"

namespace {

const CfgFile::SectionId& app = SectionName::Application;

// The plan entry that `path` (absolute, in the output) will be; null when
// the content does not hold it.
const TreeEntry* find(const ContentIndex& content, const std::string& root,
                      const std::string& path) {
    std::string below;
    if (!pathBelow(root, path, below)) {
        return nullptr;
    }
    const ContentIndex::const_iterator it = content.find(below);
    return it == content.end() ? nullptr : it->second;
}

bool holdsFile(const ContentIndex& content, const std::string& root,
               const std::string& dir, const std::string& relative) {
    const TreeEntry* entry =
            find(content, root, FileUtils::combinePath(dir, relative));
    return entry != nullptr && entry->kind != TreeEntry::Directory;
}

// The jars of the content in the folder `dir` (a class path "dir/*").
StringArray jarsIn(const ContentIndex& content, const std::string& root,
                   const std::string& dir) {
    StringArray jars;
    std::string below;
    if (!pathBelow(root, dir, below)) {
        return jars;
    }
    for (const ContentIndex::value_type& item : content) {
        if (FileUtils::dirname(item.first) == below
                && tstrings::endsWith(item.first, ".jar", tstrings::IGNORE_CASE)
                && item.second->kind != TreeEntry::Directory) {
            jars.push_back(FileUtils::combinePath(root, item.first));
        }
    }
    return jars;
}

std::string mainClassOf(const CfgFile& expanded, const std::string& root,
                        const ContentIndex& content) {
    const std::string jar = expanded.lastValue(app, PropertyName::mainjar);
    const std::string mainClass =
            expanded.lastValue(app, PropertyName::mainclass);
    if (jar.empty()) {
        return mainClass;
    }
    const TreeEntry* entry = find(content, root, jar);
    if (entry == nullptr || entry->kind == TreeEntry::Directory) {
        VT_THROW(tstrings::any() << "The main jar \"" << jar
                 << "\" (app.mainjar) is not among the content copied into "
                    "the application directory");
    }
    std::string manifest;
    if (!JarManifest::read(entry->source, manifest)) {
        VT_THROW(tstrings::any() << "The main jar \"" << entry->source
                 << "\" is not a jar file that can be read");
    }
    const std::string declared =
            JarManifest::mainAttribute(manifest, "Main-Class");
    if (declared.empty() && mainClass.empty()) {
        VT_THROW(tstrings::any() << "The main jar \"" << entry->source
                 << "\" names no Main-Class in its manifest: set "
                    "app.mainclass in [Application]");
    }
    return mainClass.empty() ? declared : mainClass;
}

// Whether the class file `classFile` lies in a folder of the class path.
// Jars are not listed here: a class in a jar counts as found.
bool classOnPath(const CfgFile& expanded, const std::string& root,
                 const ContentIndex& content, const std::string& classFile) {
    StringArray places;
    const std::string jar = expanded.lastValue(app, PropertyName::mainjar);
    if (!jar.empty()) {
        places.push_back(jar);
    }
    const StringArray& classPath =
            expanded.values(app, PropertyName::classpath);
    places.insert(places.end(), classPath.begin(), classPath.end());
    for (const std::string& place : places) {
        const TreeEntry* entry = find(content, root, place);
        if (tstrings::endsWith(place, "/*")
                ? !jarsIn(content, root, FileUtils::dirname(place)).empty()
                : entry != nullptr && entry->kind != TreeEntry::Directory) {
            return true;
        }
        if (entry != nullptr && entry->kind == TreeEntry::Directory
                && holdsFile(content, root, place, classFile)) {
            return true;
        }
    }
    return false;
}

// Whether the module path of the content holds the module `name`: an
// exploded module "<entry>/<name>/module-info.class" or
// "<entry>/module-info.class" in a folder named after it, or a jar.
bool moduleOnPath(const CfgFile& expanded, const std::string& root,
                  const ContentIndex& content, const std::string& name) {
    for (const std::string& place :
         expanded.values(app, PropertyName::modulepath)) {
        const TreeEntry* entry = find(content, root, place);
        if (entry == nullptr) {
            continue;
        }
        if (entry->kind != TreeEntry::Directory) {
            return true;
        }
        if (holdsFile(content, root, place, name + "/module-info.class")
                || (FileUtils::basename(normalizePath(place)) == name
                    && holdsFile(content, root, place, "module-info.class"))
                || !jarsIn(content, root, place).empty()) {
            return true;
        }
    }
    return false;
}

void checkModule(const CfgFile& expanded, const std::string& root,
                 const ContentIndex& content,
                 const StringArray& runtimeModules) {
    const std::string value = expanded.lastValue(app, PropertyName::mainmodule);
    const std::string name = value.substr(0, value.find('/'));
    if (std::find(runtimeModules.begin(), runtimeModules.end(), name)
                == runtimeModules.end()
            && !moduleOnPath(expanded, root, content, name)) {
        VT_THROW(tstrings::any() << "The main module \"" << name
                 << "\" (app.mainmodule) is neither on the module path of "
                    "the content (app.modulepath) nor in the runtime");
    }
}

} // namespace

AppFacts checkApplication(const CfgFile& expanded, const std::string& root,
                          const ContentIndex& content,
                          const StringArray& runtimeModules) {
    const bool hasModule =
            !expanded.values(app, PropertyName::mainmodule).empty();
    AppFacts facts;
    facts.mainClass = mainClassOf(expanded, root, content);
    if (hasModule) {
        checkModule(expanded, root, content, runtimeModules);
        const std::string value =
                expanded.lastValue(app, PropertyName::mainmodule);
        if (value.find('/') != std::string::npos) {
            facts.mainClass = value.substr(value.find('/') + 1);
        }
        return facts;
    }
    if (facts.mainClass.empty()) {
        VT_THROW("The description names nothing to start: set app.mainjar, "
                 "app.mainmodule or app.mainclass in [Application]");
    }
    std::string classFile = tstrings::replace(facts.mainClass, ".", "/");
    if (!classOnPath(expanded, root, content, classFile + ".class")) {
        VT_THROW(tstrings::any() << "The main class \"" << facts.mainClass
                 << "\" is not among the content: no class path entry "
                    "(app.mainjar, app.classpath) holds " << classFile
                 << ".class");
    }
    return facts;
}
