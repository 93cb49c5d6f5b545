#include "PackageRecord.h"

#include <algorithm>
#include <cstdio>

#include "tstrings.h"

namespace {

const char prefix[] = "package ";
const std::size_t prefixSize = sizeof(prefix) - 1;

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".."
            && name.find('/') == std::string::npos;
}

bool isDecimal(const std::string& text) {
    // 20 digits can exceed 64 bits; no file is that large.
    return !text.empty() && text.size() < 20
            && text.find_first_not_of("0123456789") == std::string::npos;
}

bool isCrc(const std::string& text) {
    return text.size() == 8
            && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Reads "<name> <size> <crc>" into `record`; false when the text does not
// end in a size and a CRC.
bool readIdentity(const std::string& text, PackageRecord& record) {
    const std::size_t crcAt = text.rfind(' ');
    if (crcAt == std::string::npos || crcAt == 0) {
        return false;
    }
    const std::size_t sizeAt = text.rfind(' ', crcAt - 1);
    if (sizeAt == std::string::npos) {
        return false;
    }
    const std::string size = text.substr(sizeAt + 1, crcAt - sizeAt - 1);
    const std::string crc = text.substr(crcAt + 1);
    if (!isDecimal(size) || !isCrc(crc)) {
        return false;
    }
    record.name = text.substr(0, sizeAt);
    record.hasIdentity = true;
    record.identity.size = std::stoull(size);
    record.identity.crc = static_cast<std::uint32_t>(std::stoul(crc, nullptr,
                                                                16));
    return true;
}

} // namespace

bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.size == b.size && a.crc == b.crc;
}

std::string packageRecordLine(const PackageRecord& record) {
    std::string line = prefix + record.name;
    if (record.hasIdentity) {
        char crc[9];
        std::snprintf(crc, sizeof(crc), "%08x",
                      static_cast<unsigned>(record.identity.crc));
        line += " " + std::to_string(record.identity.size) + " " + crc;
    }
    return line;
}

std::string packageRecordLines(const PackageRecords& records) {
    std::string lines;
    for (const PackageRecord& record : records) {
        lines += packageRecordLine(record) + "\n";
    }
    return lines;
}

PackageRecords stampedPackageRecords(const std::string& stamp) {
    StringArray lines;
    tstrings::split(lines, stamp, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    PackageRecords records;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].compare(0, prefixSize, prefix) != 0) {
            continue;
        }
        const std::string text = lines[i].substr(prefixSize);
        PackageRecord record;
        if (!readIdentity(text, record)) {
            record = PackageRecord();
            record.name = text;
        }
        if (isPlainName(record.name)) {
            records.push_back(record);
        }
    }
    return records;
}

PackageProof provePackage(const PackageRecords& records,
                          const std::string& name, const FileIdentity& file) {
    bool named = false;
    bool identified = false;
    for (const PackageRecord& record : records) {
        if (record.name == name) {
            named = true;
            identified = identified || record.hasIdentity;
        }
    }
    if (provingRecord(records, name, file) != nullptr) {
        return PackageProof::Proven;
    }
    return identified ? PackageProof::Changed
            : named ? PackageProof::NameOnly : PackageProof::Unproven;
}

const PackageRecord* provingRecord(const PackageRecords& records,
                                   const std::string& name,
                                   const FileIdentity& file) {
    for (const PackageRecord& record : records) {
        if (record.name == name && record.hasIdentity
                && record.identity == file) {
            return &record;
        }
    }
    return nullptr;
}

bool recordsSize(const PackageRecords& records, const std::string& name,
                 unsigned long long size) {
    for (const PackageRecord& record : records) {
        if (record.name == name && record.hasIdentity
                && record.identity.size == size) {
            return true;
        }
    }
    return false;
}

PackageRecords distinctRecords(const PackageRecords& records) {
    PackageRecords distinct;
    for (const PackageRecord& record : records) {
        const std::string line = packageRecordLine(record);
        if (std::none_of(distinct.begin(), distinct.end(),
                         [&](const PackageRecord& seen) {
                             return packageRecordLine(seen) == line;
                         })) {
            distinct.push_back(record);
        }
    }
    return distinct;
}
