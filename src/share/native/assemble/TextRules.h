// What a text must be to go into the files the command writes: a property
// list, a desktop entry and the launcher's configuration are read by
// parsers that accept well-formed UTF-8 of the XML 1.0 character set only.
// The rules here are pure functions of the bytes.
#ifndef TEXTRULES_H
#define TEXTRULES_H

#include <string>

/// True when `text` is well-formed UTF-8: no stray or missing continuation
/// bytes, no overlong forms, no surrogates (U+D800-U+DFFF) and nothing above
/// U+10FFFF.
bool isUtf8(const std::string& text);

/// True when `text` is well-formed UTF-8 of one line that every reader
/// accepts: no C0 control (tab, line feed and carriage return included), no
/// DEL, no C1 control (U+0080-U+009F) and neither U+FFFE nor U+FFFF.
bool isPlainText(const std::string& text);

/// `text` made safe for a one-line message: a carriage return, line feed
/// or tab becomes "\r", "\n" or "\t"; the bytes of any other character
/// that isPlainText refuses, and bytes that are not UTF-8, become "\xHH".
std::string printable(const std::string& text);

#endif // TEXTRULES_H
