// The optional package file ".package" of the application directory: its
// first line, byte for byte, is the application's package name.
#ifndef PACKAGEFILE_H
#define PACKAGEFILE_H

#include <string>

class PackageFile {
public:
    /// Reads "<appDir>/.package". A missing or empty file, or one whose first
    /// line is empty, gives the empty name; a file that exists but cannot be
    /// opened throws.
    static PackageFile loadFromAppDir(const std::string& appDir);

    /// The package name; empty when there is none.
    const std::string& getPackageName() const { return packageName; }

private:
    explicit PackageFile(const std::string& name) : packageName(name) {}

    std::string packageName;
};

#endif // PACKAGEFILE_H
