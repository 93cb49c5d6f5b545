#include "AppChecks.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JarManifest.h"
#include "ZipFile.h"

namespace {

const CfgFile::SectionId& app = SectionName::Application;

// A jar's entry `name`, else its newest variant under
// META-INF/versions/<n>/ (a multi-release jar, whose module-info.class
// often lies there only); null when there is none.
const ZipEntry* findVersioned(const ZipFile& zip, const std::string& name) {
    const ZipEntry* found = zip.find(name);
    const std::string versions = "META-INF/versions/";
    int newest = 0;
    for (const ZipEntry& entry : zip.entries()) {
        if (found != nullptr && found->name == name) {
            break;
        }
        const std::size_t end = entry.name.size() - name.size();
        if (entry.name.size() <= versions.size() + name.size() + 1
                || !tstrings::startsWith(entry.name, versions)
                || entry.name.compare(end, name.size(), name) != 0
                || entry.name[end - 1] != '/') {
            continue;
        }
        const std::string number =
                entry.name.substr(versions.size(), end - 1 - versions.size());
        if (number.find_first_not_of("0123456789") == std::string::npos
                && std::atoi(number.c_str()) > newest) {
            newest = std::atoi(number.c_str());
            found = &entry;
        }
    }
    return found;
}

bool jarHolds(const std::string& jar, const std::string& entryName) {
    const ZipFile zip(jar);
    return findVersioned(zip, entryName) != nullptr;
}

// "%20" and its kin of a Class-Path URL decoded.
std::string decodeUrl(const std::string& url) {
    std::string text;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()
                && std::isxdigit(static_cast<unsigned char>(url[i + 1])) != 0
                && std::isxdigit(static_cast<unsigned char>(url[i + 2])) != 0) {
            text += static_cast<char>(
                    std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            text += url[i];
        }
    }
    return text;
}

} // namespace

StringArray manifestClassPath(const ContentView& view,
                              const std::string& jar) {
    StringArray reached;
    StringArray pending{jar};
    while (!pending.empty()) {
        const std::string current = pending.front();
        pending.erase(pending.begin());
        const TreeEntry* entry = view.file(current);
        std::string manifest;
        if (entry == nullptr || !JarManifest::read(entry->source, manifest)) {
            continue;
        }
        for (std::string url : JarManifest::classPath(manifest)) {
            if (tstrings::startsWith(url, "file:")) {
                url = url.substr(5);
            }
            url = decodeUrl(url);
            if (url.empty()) {
                continue;
            }
            const std::string path = url[0] == '/' ? url
                    : FileUtils::combinePath(FileUtils::dirname(current), url);
            std::string resolved;
            if (!view.resolve(path, resolved)
                    || std::find(reached.begin(), reached.end(), resolved)
                            != reached.end()) {
                continue;
            }
            reached.push_back(resolved);
            if (view.file(resolved) != nullptr) {
                pending.push_back(resolved);
            }
        }
    }
    return reached;
}

namespace {

std::string mainClassOf(const CfgFile& expanded, const ContentView& view) {
    const std::string jar = expanded.lastValue(app, PropertyName::mainjar);
    if (jar.empty()) {
        return expanded.lastValue(app, PropertyName::mainclass);
    }
    const TreeEntry* entry = view.file(jar);
    if (entry == nullptr) {
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
    if (declared.empty()) {
        VT_THROW(tstrings::any() << "The main jar \"" << entry->source
                 << "\" names no Main-Class in its manifest: in place of "
                    "app.mainjar, set app.classpath (the jar and what it "
                    "needs) and app.mainclass in [Application]");
    }
    return declared;
}

// The class path the runtime searches for the main class: with a main jar
// the jar and what its manifest names (the runtime ignores -classpath
// then), else the app.classpath entries.
StringArray searchedPath(const CfgFile& expanded, const ContentView& view) {
    const std::string jar = expanded.lastValue(app, PropertyName::mainjar);
    if (!jar.empty()) {
        StringArray places{jar};
        const StringArray reached = manifestClassPath(view, jar);
        places.insert(places.end(), reached.begin(), reached.end());
        return places;
    }
    return classPathEntries(expanded);
}

// Whether the class file `classFile` lies in a place of the class path: a
// jar, a folder, or the jars of "dir/*".
bool classOnPath(const CfgFile& expanded, const ContentView& view,
                 const std::string& classFile) {
    for (const std::string& place : searchedPath(expanded, view)) {
        StringArray jars;
        if (tstrings::endsWith(place, "/*")) {
            jars = view.jarsIn(FileUtils::dirname(place));
        } else if (view.isFolder(place)) {
            if (view.file(FileUtils::combinePath(place, classFile))
                    != nullptr) {
                return true;
            }
        } else if (view.file(place) != nullptr) {
            jars.push_back(place);
        }
        for (const std::string& path : jars) {
            if (jarHolds(view.file(path)->source, classFile)) {
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
    const ZipEntry* info = findVersioned(zip, "module-info.class");
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

// Each entry of the property's values, which may list several with ':'.
StringArray pathEntries(const CfgFile& expanded,
                        const CfgFile::PropertyId& property) {
    StringArray entries;
    for (const std::string& value : expanded.values(app, property)) {
        StringArray parts;
        tstrings::split(parts, value, ":", tstrings::SPLIT_EXCLUDE_EMPTY);
        entries.insert(entries.end(), parts.begin(), parts.end());
    }
    return entries;
}

// Whether the module path of the content holds the module `name`: an
// exploded module (a folder with module-info.class: the entry itself, or
// one in it named after the module) or a jar (the entry, or one in it).
bool moduleOnPath(const CfgFile& expanded, const ContentView& view,
                  const std::string& name) {
    for (const std::string& place :
         pathEntries(expanded, PropertyName::modulepath)) {
        StringArray jars;
        if (view.file(place) != nullptr) {
            jars.push_back(place);
        } else if (!view.isFolder(place)) {
            continue;
        } else if (view.file(FileUtils::combinePath(
                           place, name + "/module-info.class")) != nullptr
                   || (FileUtils::basename(normalizePath(place)) == name
                       && view.file(FileUtils::combinePath(
                                  place, "module-info.class")) != nullptr)) {
            return true;
        } else {
            jars = view.jarsIn(place);
        }
        for (const std::string& jar : jars) {
            if (moduleOfJar(view.file(jar)->source, jar) == name) {
                return true;
            }
        }
    }
    return false;
}

void checkModule(const CfgFile& expanded, const ContentView& view,
                 const StringArray& runtimeModules) {
    const std::string value = expanded.lastValue(app, PropertyName::mainmodule);
    const std::string name = value.substr(0, value.find('/'));
    if (std::find(runtimeModules.begin(), runtimeModules.end(), name)
                == runtimeModules.end()
            && !moduleOnPath(expanded, view, name)) {
        VT_THROW(tstrings::any() << "The main module \"" << name
                 << "\" (app.mainmodule) is neither on the module path of "
                    "the content (app.modulepath) nor in the runtime");
    }
}

// With app.mainjar the runtime takes its class path from the jar's
// manifest and ignores -classpath: an app.classpath entry that the
// manifest does not reach can only be missing at run time. One that it
// reaches is redundant, which a note says.
void checkClassPathBesideJar(const CfgFile& expanded, const ContentView& view,
                             AppFacts& facts) {
    const std::string jar = expanded.lastValue(app, PropertyName::mainjar);
    if (jar.empty() || expanded.values(app, PropertyName::classpath).empty()) {
        return;
    }
    std::string mainJar;
    view.resolve(jar, mainJar);
    const StringArray reached = manifestClassPath(view, jar);
    for (const std::string& entry : classPathEntries(expanded)) {
        StringArray places;
        if (tstrings::endsWith(entry, "/*")) {
            places = view.jarsIn(FileUtils::dirname(entry));
        } else {
            places.push_back(entry);
        }
        for (const std::string& place : places) {
            std::string resolved;
            if (!view.resolve(place, resolved)
                    || (resolved != mainJar
                        && std::find(reached.begin(), reached.end(), resolved)
                                == reached.end())) {
                VT_THROW(tstrings::any() << "The class path entry \""
                         << place << "\" (app.classpath) is neither the main "
                            "jar nor named by its manifest's Class-Path, and "
                            "with app.mainjar the runtime ignores "
                            "app.classpath: in place of app.mainjar, set "
                            "app.mainclass with app.classpath");
            }
        }
    }
    facts.notes.push_back("app.classpath is redundant: with app.mainjar the "
                          "runtime ignores it, and the main jar's manifest "
                          "already names every entry of it");
}

} // namespace

StringArray classPathEntries(const CfgFile& expanded) {
    return pathEntries(expanded, PropertyName::classpath);
}

void checkStartShape(const CfgFile& expanded) {
    const bool jar = !expanded.values(app, PropertyName::mainjar).empty();
    const bool mainClass =
            !expanded.values(app, PropertyName::mainclass).empty();
    const bool module = !expanded.values(app, PropertyName::mainmodule).empty();
    if (jar && mainClass) {
        VT_THROW("app.mainjar and app.mainclass are both set, and the runtime "
                 "would read the jar as the class's arguments: in place of "
                 "app.mainjar, set app.classpath (the jar and what it needs) "
                 "with app.mainclass");
    }
    if (module && (jar || mainClass)) {
        VT_THROW(tstrings::any() << "app.mainmodule and "
                 << (jar ? "app.mainjar" : "app.mainclass") << " are both set, "
                 "and the runtime would pass the latter to the main module as "
                 "arguments: name the main class with app.mainmodule "
                 "(MODULE/CLASS) alone");
    }
    for (const std::string& value :
         expanded.values(app, PropertyName::locked)) {
        if (value != "true" && value != "false") {
            VT_THROW(tstrings::any() << "Invalid value \"" << value
                     << "\" of app.locked: the launcher takes \"true\" or "
                        "\"false\" and refuses to start with any other");
        }
    }
}

AppFacts checkApplication(const CfgFile& expanded, const std::string& root,
                          const ContentIndex& content,
                          const StringArray& runtimeModules) {
    checkStartShape(expanded);
    const ContentView view(content, root);
    AppFacts facts;
    if (!expanded.values(app, PropertyName::mainmodule).empty()) {
        checkModule(expanded, view, runtimeModules);
        const std::string value =
                expanded.lastValue(app, PropertyName::mainmodule);
        if (value.find('/') != std::string::npos) {
            facts.mainClass = value.substr(value.find('/') + 1);
        }
        return facts;
    }
    facts.mainClass = mainClassOf(expanded, view);
    if (facts.mainClass.empty()) {
        VT_THROW("The description names nothing to start: set app.mainjar, "
                 "app.mainmodule or app.mainclass in [Application]");
    }
    std::string classFile = tstrings::replace(facts.mainClass, ".", "/");
    if (!classOnPath(expanded, view, classFile + ".class")) {
        VT_THROW(tstrings::any() << "The main class \"" << facts.mainClass
                 << "\" is not among the content: no class path entry "
                    "(app.mainjar, app.classpath) holds " << classFile
                 << ".class");
    }
    checkClassPathBesideJar(expanded, view, facts);
    return facts;
}
