// The content lines that name where their item goes: "bundle.content-into=
// DEST|SOURCE" copies SOURCE (a file, or a folder's contents, as
// bundle.content does) into the folder DEST under the application folder.
// The first "|" ends DEST, so that SOURCE may hold any character, blanks
// and "|" included; nothing is trimmed. A bundle.content line keeps its
// meaning: its item goes into the application folder itself.
#ifndef CONTENTINTO_H
#define CONTENTINTO_H

#include <string>

struct ContentInto {
    /// Relative to the application folder, normalized; "" for the folder
    /// itself.
    std::string dest;
    /// As written.
    std::string source;
};

/// The parts of the value `value`; `why` says what is wrong (and the result
/// is empty) when DEST is missing, absolute or leads out of the
/// application folder, or SOURCE is empty.
ContentInto parseContentInto(const std::string& value, std::string& why);

/// The line that copies the file `source` to `dest` (relative to the
/// application folder): a bundle.content line where that is the folder
/// itself, else a bundle.content-into line.
std::string contentLineFor(const std::string& dest, const std::string& source);

#endif // CONTENTINTO_H
