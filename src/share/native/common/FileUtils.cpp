#include "FileUtils.h"

#include "tstrings.h"

namespace FileUtils {

bool isDirSeparator(char c) {
    return c == '/';
}

std::string dirname(const std::string& path) {
    std::string::size_type searchEnd = path.size();
    if (tstrings::endsWith(path, "/.")) {
        searchEnd -= 2;
    }
    std::string::size_type pos = searchEnd;
    while (pos > 0 && !isDirSeparator(path[pos - 1])) {
        --pos;
    }
    if (pos == 0) {
        return std::string();
    }
    // pos - 1 is the last separator; skip it and every separator before it.
    --pos;
    while (pos > 0 && isDirSeparator(path[pos - 1])) {
        --pos;
    }
    return path.substr(0, pos);
}

std::string basename(const std::string& path) {
    const std::string::size_type sep = path.rfind('/');
    if (sep == std::string::npos) {
        return path;
    }
    return path.substr(sep + 1);
}

std::string combinePath(const std::string& a, const std::string& b) {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    std::string::size_type aEnd = a.size();
    while (aEnd > 0 && isDirSeparator(a[aEnd - 1])) {
        --aEnd;
    }
    const std::string::size_type bStart = isDirSeparator(b[0]) ? 1 : 0;
    std::string result;
    result.reserve(aEnd + 1 + b.size() - bStart);
    result.append(a, 0, aEnd);
    result += '/';
    result.append(b, bStart, std::string::npos);
    return result;
}

} // namespace FileUtils
