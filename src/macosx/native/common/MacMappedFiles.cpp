// The mappings of this process on macOS: the task's memory regions, and
// the path of the file behind each one that has one.
#include "MappedFiles.h"

#include <libproc.h>
#include <mach/mach.h>
#include <mach/mach_vm.h>
#include <sys/param.h>
#include <unistd.h>

#include <cstring>

namespace MappedFiles {

bool isMapped(const std::string& fileName) {
    if (fileName.empty()) {
        return false;
    }
    const pid_t self = ::getpid();
    mach_vm_address_t address = 0;
    for (;;) {
        mach_vm_size_t size = 0;
        vm_region_basic_info_data_64_t info;
        mach_msg_type_number_t count = VM_REGION_BASIC_INFO_COUNT_64;
        mach_port_t object = MACH_PORT_NULL;
        if (::mach_vm_region(::mach_task_self(), &address, &size,
                             VM_REGION_BASIC_INFO_64,
                             reinterpret_cast<vm_region_info_t>(&info),
                             &count, &object) != KERN_SUCCESS) {
            return false;
        }
        char path[MAXPATHLEN];
        const int length =
                ::proc_regionfilename(self, address, path, sizeof(path));
        if (length > 0) {
            const std::string name(path, static_cast<std::size_t>(length));
            const std::string::size_type slash = name.rfind('/');
            if (name.compare(slash == std::string::npos ? 0 : slash + 1,
                             std::string::npos, fileName) == 0) {
                return true;
            }
        }
        address += size;
    }
}

} // namespace MappedFiles
