#include "AppChecks.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JarManifest.h"
#include "ZipFile.h"

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
    // Links of the content and ".." as the system will resolve them.
    if (tstrings::startsWith(path, root + "/")) {
        below = resolveInPlan(content, path.substr(root.size() + 1));
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
                    "the application directory: add the jar, or its folder, "
                    "with a bundle.content line");
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

bool jarHolds(const std::string& jar, const std::string& entryName) {
    const ZipFile zip(jar);
    return zip.find(entryName) != nullptr;
}

// Whether the class file `classFile` lies in the main jar or an entry of
// the class path (a jar, a folder, or the jars of "dir/*") of the content.
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
        StringArray jars;
        const TreeEntry* entry = find(content, root, place);
        if (tstrings::endsWith(place, "/*")) {
            jars = jarsIn(content, root, FileUtils::dirname(place));
        } else if (entry != nullptr && entry->kind == TreeEntry::Directory) {
            if (holdsFile(content, root, place, classFile)) {
                return true;
            }
        } else if (entry != nullptr) {
            jars.push_back(place);
        }
        for (const std::string& path : jars) {
            if (jarHolds(find(content, root, path)->source, classFile)) {
                return true;
            }
        }
    }
    return false;
}

std::uint16_t u2(const std::string& b, std::size_t pos) {
    return static_cast<std::uint16_t>(
            (static_cast<unsigned char>(b[pos]) << 8)
            | static_cast<unsigned char>(b[pos + 1]));
}

// The bytes a constant pool entry takes, by its tag; 0 for an unknown tag
// and for Utf8, whose length follows the tag.
const std::size_t constantSizes[] = {0, 0, 0, 5, 5, 9, 9, 3, 3, 5, 5,
                                     5, 5, 0, 0, 4, 3, 5, 5, 3, 3};

// The module name in a module-info.class file; empty when it is damaged.
std::string moduleNameOf(const std::string& b) {
    const std::size_t size = b.size();
    if (size < 10 || u2(b, 0) != 0xcafe) {
        return std::string();
    }
    const std::uint16_t count = u2(b, 8);
    std::vector<std::size_t> at(count, 0);
    std::size_t pos = 10;
    for (std::uint16_t i = 1; i < count; ++i) {
        if (pos + 3 > size) {
            return std::string();
        }
        at[i] = pos;
        const unsigned char tag = static_cast<unsigned char>(b[pos]);
        if (tag == 1) {
            pos += 3 + u2(b, pos + 1);
        } else if (tag < 21 && constantSizes[tag] != 0) {
            pos += constantSizes[tag];
            i += (tag == 5 || tag == 6) ? 1 : 0;
        } else {
            return std::string();
        }
    }
    auto utf8 = [&](std::uint16_t index) {
        const std::size_t p = index < count ? at[index] : 0;
        return p != 0 && b[p] == 1 && p + 3 + u2(b, p + 1) <= size
                ? b.substr(p + 3, u2(b, p + 1)) : std::string();
    };
    // Flags, this and super class, and no interfaces, fields or methods
    // precede the attributes.
    pos += 14;
    for (std::uint16_t n = pos <= size ? u2(b, pos - 2) : 0; n > 0; --n) {
        if (pos + 8 > size) {
            return std::string();
        }
        if (utf8(u2(b, pos)) == "Module") {
            const std::uint16_t module = u2(b, pos + 6);
            const std::size_t p = module < count ? at[module] : 0;
            return p != 0 && b[p] == 19 ? utf8(u2(b, p + 1)) : std::string();
        }
        pos += 6 + ((static_cast<std::size_t>(u2(b, pos + 2)) << 16)
                    | u2(b, pos + 4));
    }
    return std::string();
}

// The name of an automatic module for the jar file's name: without
// ".jar" and a version from a '-' before a digit on, every other
// character than a letter or a digit a '.', dots not repeated nor at
// either end.
std::string automaticName(const std::string& jarName) {
    std::string base = jarName.substr(0, jarName.size() - 4);
    for (std::size_t i = 0; i + 1 < base.size(); ++i) {
        if (base[i] == '-' && base[i + 1] >= '0' && base[i + 1] <= '9') {
            base.resize(i);
        }
    }
    std::string name;
    for (char c : base) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name += c;
        } else if (!name.empty() && name.back() != '.') {
            name += '.';
        }
    }
    while (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return name;
}

// The module that the jar at `path` (named `name` in the output) is.
std::string moduleOfJar(const std::string& path, const std::string& name) {
    const ZipFile zip(path);
    const ZipEntry* info = zip.find("module-info.class");
    std::string bytes;
    if (info != nullptr && zip.read(*info, bytes, 1 << 20)) {
        return moduleNameOf(bytes);
    }
    std::string manifest;
    const std::string declared = JarManifest::read(zip, manifest)
            ? JarManifest::mainAttribute(manifest, "Automatic-Module-Name")
            : std::string();
    return declared.empty() ? automaticName(FileUtils::basename(name))
                            : declared;
}

// Whether the module path of the content holds the module `name`: an
// exploded module (a folder with module-info.class: the entry itself, or
// one in it named after the module) or a jar (the entry, or one in it).
bool moduleOnPath(const CfgFile& expanded, const std::string& root,
                  const ContentIndex& content, const std::string& name) {
    for (const std::string& place :
         expanded.values(app, PropertyName::modulepath)) {
        const TreeEntry* entry = find(content, root, place);
        if (entry == nullptr) {
            continue;
        }
        StringArray jars;
        if (entry->kind != TreeEntry::Directory) {
            jars.push_back(place);
        } else if (holdsFile(content, root, place, name + "/module-info.class")
                   || (FileUtils::basename(normalizePath(place)) == name
                       && holdsFile(content, root, place,
                                    "module-info.class"))) {
            return true;
        } else {
            jars = jarsIn(content, root, place);
        }
        for (const std::string& jar : jars) {
            if (moduleOfJar(find(content, root, jar)->source, jar) == name) {
                return true;
            }
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
