#include "FileTimes.h"

namespace FileTimes {

timespec modified(const struct stat& st) {
    return st.st_mtim;
}

timespec changed(const struct stat& st) {
    return st.st_ctim;
}

} // namespace FileTimes
