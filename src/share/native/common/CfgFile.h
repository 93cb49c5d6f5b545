// The launcher configuration file and its in-memory form.
//
// The file is line-oriented: "[Section]" headers and "name=value" property
// lines, with a fixed vocabulary of five sections and thirteen properties
// (tools that share the format may parse with names of their own added).
// Every line that names a property adds one value to it. Everything outside
// the vocabulary is skipped silently. Values may contain macros, replaced by
// `expandMacros`.
#ifndef CFGFILE_H
#define CFGFILE_H

#include <cstring>
#include <map>
#include <string>

#include "tstrings.h"

class CfgFile {
public:
    /// A section or property name. Holds a pointer to a zero-terminated text
    /// with static storage and never owns it; ids compare by text.
    template <class Tag>
    class Id {
    public:
        explicit constexpr Id(const char* name) : text(name) {}

        const char* name() const { return text; }

        bool operator<(const Id& other) const;
        bool operator==(const Id& other) const;

    private:
        const char* text;
    };

    struct SectionNameTag {};
    struct PropertyNameTag {};

    typedef Id<SectionNameTag> SectionId;
    typedef Id<PropertyNameTag> PropertyId;

    /// The values of the properties of one section, in the order added.
    typedef std::map<PropertyId, StringArray> Properties;

    /// Macro names (the exact text to look for) and their replacements.
    typedef std::map<std::string, std::string> Macros;

    /// Names that a parse keeps besides the launcher's own, for tools that
    /// read the launcher's format with sections of their own. The arrays
    /// hold pointers to ids with static storage.
    struct Vocabulary {
        const SectionId* const* sections;
        std::size_t sectionCount;
        const PropertyId* const* properties;
        std::size_t propertyCount;
    };

    /// Parses the file at `path`. Throws when it cannot be opened, when a
    /// section header lacks its "]" and when it cannot be read to its end.
    static CfgFile load(const std::string& path);

    /// Parses the file at `path` under the same rules, keeping the names of
    /// `extra` as well as the launcher's.
    static CfgFile load(const std::string& path, const Vocabulary& extra);

    /// What the header rule of the parser makes of a line.
    enum class LineKind { Other, Header, HeaderWithoutBracket };

    /// The header rule of the parser: a line that starts with "[" is a
    /// section header, whose name runs from the second byte up to the last
    /// "]" (its length goes to `nameLength`); without a "]" it is the
    /// parser's error (`missingBracket`).
    static LineKind lineKind(const std::string& line, std::size_t& nameLength);

    /// The parser's message for a header without "]" on line `lineNumber`.
    static std::string missingBracket(const std::string& path,
                                      unsigned long long lineNumber);

    /// The section's properties; an empty table when it is absent.
    const Properties& getProperties(const SectionId& section) const;

    /// The values of the property in the section, in the order added; an
    /// empty list when the section or the property is absent.
    const StringArray& values(const SectionId& section,
                              const PropertyId& property) const;

    /// The last value of the property in the section (the one that counts
    /// for a single-valued property); empty when there is none.
    std::string lastValue(const SectionId& section,
                          const PropertyId& property) const;

    /// Replaces the property's values with `values`, creating the section
    /// when absent.
    CfgFile& setPropertyValue(const SectionId& section,
                              const PropertyId& property,
                              const StringArray& values);

    /// A copy in which every occurrence of every macro name in every value is
    /// replaced by the macro's text, pass after pass, until the values no
    /// longer change. Throws, naming the property and the value, when a value
    /// does not settle (a macro whose text contains its own name, or macros
    /// naming each other in a cycle).
    CfgFile expandMacros(const Macros& macros) const;

    /// The last value of the property; the empty string for an empty list.
    static std::string asString(const Properties::value_type& property);

    /// All values of the property joined with the path separator.
    static std::string asPathList(const Properties::value_type& property);

private:
    typedef std::map<SectionId, Properties> PropertyMap;

    template <class Names>
    static CfgFile load(const std::string& path, const Names& names);

    PropertyMap sections;
    Properties emptyProperties;
    StringArray emptyValues;
};

inline CfgFile::LineKind CfgFile::lineKind(const std::string& line,
                                           std::size_t& nameLength) {
    if (line.empty() || line[0] != '[') {
        return LineKind::Other;
    }
    const std::string::size_type end = line.rfind(']');
    if (end == std::string::npos) {
        return LineKind::HeaderWithoutBracket;
    }
    nameLength = end - 1;
    return LineKind::Header;
}

template <class Tag>
inline bool CfgFile::Id<Tag>::operator<(const Id& other) const {
    return std::strcmp(text, other.text) < 0;
}

template <class Tag>
inline bool CfgFile::Id<Tag>::operator==(const Id& other) const {
    return std::strcmp(text, other.text) == 0;
}

namespace SectionName {
extern const CfgFile::SectionId Application;
extern const CfgFile::SectionId JavaOptions;
extern const CfgFile::SectionId AppCDSJavaOptions;
extern const CfgFile::SectionId AppCDSGenerateCacheJavaOptions;
extern const CfgFile::SectionId ArgOptions;
} // namespace SectionName

namespace PropertyName {
extern const CfgFile::PropertyId version;
extern const CfgFile::PropertyId mainjar;
extern const CfgFile::PropertyId mainmodule;
extern const CfgFile::PropertyId mainclass;
extern const CfgFile::PropertyId classpath;
extern const CfgFile::PropertyId modulepath;
extern const CfgFile::PropertyId runtime;
extern const CfgFile::PropertyId splash;
extern const CfgFile::PropertyId memory;
extern const CfgFile::PropertyId cds;
extern const CfgFile::PropertyId locked;
extern const CfgFile::PropertyId arguments;
extern const CfgFile::PropertyId javaOptions;
} // namespace PropertyName

#endif // CFGFILE_H
