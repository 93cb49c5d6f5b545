#include "FileTimes.h"

namespace FileTimes {

timespec modified(const struct stat& st) {
    return st.st_mtimespec;
}

timespec changed(const struct stat& st) {
    return st.st_ctimespec;
}

} // namespace FileTimes
