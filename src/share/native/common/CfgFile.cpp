#include "CfgFile.h"

#include <algorithm>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "LineReader.h"

namespace SectionName {
const CfgFile::SectionId Application("Application");
const CfgFile::SectionId JavaOptions("JavaOptions");
const CfgFile::SectionId AppCDSJavaOptions("AppCDSJavaOptions");
const CfgFile::SectionId AppCDSGenerateCacheJavaOptions(
        "AppCDSGenerateCacheJavaOptions");
const CfgFile::SectionId ArgOptions("ArgOptions");
} // namespace SectionName

namespace PropertyName {
const CfgFile::PropertyId version("app.version");
const CfgFile::PropertyId mainjar("app.mainjar");
const CfgFile::PropertyId mainmodule("app.mainmodule");
const CfgFile::PropertyId mainclass("app.mainclass");
const CfgFile::PropertyId classpath("app.classpath");
const CfgFile::PropertyId modulepath("app.modulepath");
const CfgFile::PropertyId runtime("app.runtime");
const CfgFile::PropertyId splash("app.splash");
const CfgFile::PropertyId memory("app.memory");
const CfgFile::PropertyId cds("app.cds");
const CfgFile::PropertyId locked("app.locked");
const CfgFile::PropertyId arguments("arguments");
const CfgFile::PropertyId javaOptions("java-options");
} // namespace PropertyName

namespace {

const CfgFile::SectionId UnknownSection("");

const CfgFile::SectionId* const sectionNames[] = {
    &SectionName::Application,
    &SectionName::JavaOptions,
    &SectionName::AppCDSJavaOptions,
    &SectionName::AppCDSGenerateCacheJavaOptions,
    &SectionName::ArgOptions,
};

const CfgFile::PropertyId* const propertyNames[] = {
    &PropertyName::version,
    &PropertyName::mainjar,
    &PropertyName::mainmodule,
    &PropertyName::mainclass,
    &PropertyName::classpath,
    &PropertyName::modulepath,
    &PropertyName::runtime,
    &PropertyName::splash,
    &PropertyName::memory,
    &PropertyName::cds,
    &PropertyName::locked,
    &PropertyName::arguments,
    &PropertyName::javaOptions,
};

template <class IdType, std::size_t N>
const IdType* findId(const IdType* const (&ids)[N], const char* text,
                     std::size_t length) {
    for (const IdType* id : ids) {
        if (std::strlen(id->name()) == length
                && std::memcmp(id->name(), text, length) == 0) {
            return id;
        }
    }
    return nullptr;
}

template <class IdType>
const IdType* findId(const IdType* const* ids, std::size_t count,
                     const char* text, std::size_t length) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::strlen(ids[i]->name()) == length
                && std::memcmp(ids[i]->name(), text, length) == 0) {
            return ids[i];
        }
    }
    return nullptr;
}

// The launcher's own names.
struct LauncherNames {
    const CfgFile::SectionId* section(const char* text,
                                      std::size_t length) const {
        return findId(sectionNames, text, length);
    }
    const CfgFile::PropertyId* property(const char* text,
                                        std::size_t length) const {
        return findId(propertyNames, text, length);
    }
};

// The launcher's names and those of an extension, looked up after them.
struct ExtendedNames {
    const CfgFile::Vocabulary& extra;

    const CfgFile::SectionId* section(const char* text,
                                      std::size_t length) const {
        const CfgFile::SectionId* id = LauncherNames().section(text, length);
        return id ? id : findId(extra.sections, extra.sectionCount, text,
                                length);
    }
    const CfgFile::PropertyId* property(const char* text,
                                        std::size_t length) const {
        const CfgFile::PropertyId* id = LauncherNames().property(text, length);
        return id ? id : findId(extra.properties, extra.propertyCount, text,
                                length);
    }
};

// The state of one parse: the current section and the properties collected
// since its header. `Names` looks names up; the launcher's own parse gets
// its lookups inlined, so an extension costs it nothing.
template <class Names>
class Parser {
public:
    Parser(std::map<CfgFile::SectionId, CfgFile::Properties>& sections,
           const Names& names)
        : sections(sections), names(names) {}

    void selectSection(const char* name, std::size_t length) {
        purgeSection();
        const CfgFile::SectionId* id = names.section(name, length);
        current = id ? *id : UnknownSection;
    }

    void addProperty(const std::string& line) {
        if (current == UnknownSection) {
            return;
        }
        std::string::size_type sep = line.find('=');
        while (sep != std::string::npos && sep > 0 && line[sep - 1] == '\\') {
            sep = line.find('=', sep + 1);
        }
        const std::size_t nameLength =
                (sep == std::string::npos) ? line.size() : sep;
        const CfgFile::PropertyId* id =
                names.property(line.data(), nameLength);
        if (id == nullptr) {
            return;
        }
        pending[*id].push_back(sep == std::string::npos
                                       ? std::string()
                                       : line.substr(sep + 1));
    }

    /// Moves the properties collected for the current section into the file,
    /// replacing whatever the section held before.
    void purgeSection() {
        if (current == UnknownSection || pending.empty()) {
            return;
        }
        sections[current].swap(pending);
        current = UnknownSection;
        pending.clear();
    }

private:
    CfgFile::SectionId current = UnknownSection;
    CfgFile::Properties pending;
    std::map<CfgFile::SectionId, CfgFile::Properties>& sections;
    const Names& names;
};

// Values longer than this are cut in error messages.
const std::size_t maxQuotedValue = 256;

std::string quoteValue(const std::string& value) {
    if (value.size() <= maxQuotedValue) {
        return value;
    }
    return value.substr(0, maxQuotedValue) + "...";
}

// `next` becomes `value` with every macro replaced, in the map's key order;
// false when no macro name occurs in it. A pass that replaces names but gives
// back the same text (macros naming each other in a cycle, or a macro that is
// its own text) is not settled: the value still holds a macro name.
bool expandOnce(const std::string& value, const CfgFile::Macros& macros,
                std::string& next) {
    bool replaced = false;
    for (const CfgFile::Macros::value_type& macro : macros) {
        const std::string& current = replaced ? next : value;
        if (macro.first.empty()
                || current.find(macro.first) == std::string::npos) {
            continue;
        }
        next = tstrings::replace(current, macro.first, macro.second);
        replaced = true;
    }
    return replaced;
}

// Expands `value` in place until no macro name is left in it. A value that
// still holds one after the bounded number of passes, or grows past the
// bound, holds a macro whose text contains its own name or a cycle of macros.
void expandValue(std::string& value, const CfgFile::Macros& macros,
                 const CfgFile::SectionId& section,
                 const CfgFile::PropertyId& property) {
    std::string current;
    if (!expandOnce(value, macros, current)) {
        return;
    }
    const std::size_t maxPasses = macros.size() + 8;
    const std::size_t maxLength =
            std::max<std::size_t>(current.size() * 2, 1 << 20);
    std::string next;
    for (std::size_t pass = 1; expandOnce(current, macros, next); ++pass) {
        if (pass + 1 >= maxPasses || next.size() > maxLength) {
            VT_THROW(tstrings::any() << "Macros in the value of the \""
                     << property.name() << "\" property of the \""
                     << section.name() << "\" section do not settle: \""
                     << quoteValue(value) << "\"");
        }
        current.swap(next);
    }
    value.swap(current);
}

} // namespace

template <class Names>
CfgFile CfgFile::load(const std::string& path, const Names& names) {
    LineReader reader(path);
    if (!reader.isOpen()) {
        VT_THROW(tstrings::any() << "Error opening \"" << path << "\" file: "
                                 << lastCRTError());
    }

    CfgFile cfgFile;
    Parser<Names> parser(cfgFile.sections, names);
    std::string line;
    unsigned long long lineNumber = 0;
    while (reader.next(line)) {
        ++lineNumber;
        if (line.empty() || line[0] == ';') {
            continue;
        }
        std::size_t nameLength = 0;
        const LineKind kind = lineKind(line, nameLength);
        if (kind == LineKind::HeaderWithoutBracket) {
            VT_THROW(missingBracket(path, lineNumber));
        }
        if (kind == LineKind::Header) {
            parser.selectSection(line.data() + 1, nameLength);
        } else {
            parser.addProperty(line);
        }
    }
    if (!reader.atEnd()) {
        VT_THROW(tstrings::any() << "Failed to read \"" << path
                 << "\" file up to the end: " << lastCRTError());
    }
    parser.purgeSection();
    return cfgFile;
}

CfgFile CfgFile::load(const std::string& path) {
    return load(path, LauncherNames());
}

CfgFile CfgFile::load(const std::string& path, const Vocabulary& extra) {
    return load(path, ExtendedNames{extra});
}

std::string CfgFile::missingBracket(const std::string& path,
                                    unsigned long long lineNumber) {
    return (tstrings::any() << "Error parsing [" << path << "] file at "
            << lineNumber << ": Missing ']' character").str();
}

const CfgFile::Properties& CfgFile::getProperties(
        const SectionId& section) const {
    const PropertyMap::const_iterator it = sections.find(section);
    if (it == sections.end()) {
        return emptyProperties;
    }
    return it->second;
}

const StringArray& CfgFile::values(const SectionId& section,
                                   const PropertyId& property) const {
    const Properties& properties = getProperties(section);
    const Properties::const_iterator it = properties.find(property);
    return it == properties.end() ? emptyValues : it->second;
}

std::string CfgFile::lastValue(const SectionId& section,
                               const PropertyId& property) const {
    const StringArray& list = values(section, property);
    return list.empty() ? std::string() : list.back();
}

CfgFile& CfgFile::setPropertyValue(const SectionId& section,
                                   const PropertyId& property,
                                   const StringArray& values) {
    sections[section][property] = values;
    return *this;
}

CfgFile CfgFile::expandMacros(const Macros& macros) const {
    CfgFile copy(*this);
    for (PropertyMap::value_type& section : copy.sections) {
        for (Properties::value_type& property : section.second) {
            for (std::string& value : property.second) {
                expandValue(value, macros, section.first, property.first);
            }
        }
    }
    return copy;
}

std::string CfgFile::asString(const Properties::value_type& property) {
    if (property.second.empty()) {
        return std::string();
    }
    return property.second.back();
}

std::string CfgFile::asPathList(const Properties::value_type& property) {
    return tstrings::join(property.second.begin(), property.second.end(),
                          std::string(1, FileUtils::pathSeparator));
}
