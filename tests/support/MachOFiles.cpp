#include "MachOFiles.h"

#include "TestBytes.h"

namespace testing_support {

std::string thinMachO(std::uint32_t cpu, std::uint32_t fileType) {
    std::string header = le(0xfeedfacf, 4) + le(cpu, 4)
            + le(cpu == cpuX86_64 ? 3 : 0, 4) + le(fileType, 4);
    header.resize(4096, '\0');
    return header;
}

std::string fatMachO(const std::vector<std::uint32_t>& cpus) {
    std::string file = be(0xcafebabe) + be(static_cast<std::uint32_t>(cpus.size()));
    for (std::size_t i = 0; i < cpus.size(); ++i) {
        file += be(cpus[i]) + be(cpus[i] == cpuX86_64 ? 3 : 0)
                + be(static_cast<std::uint32_t>(4096 * (i + 1))) + be(4096)
                + be(12);
    }
    file.resize(4096, '\0');
    for (std::uint32_t cpu : cpus) {
        file += thinMachO(cpu);
    }
    return file;
}

} // namespace testing_support
