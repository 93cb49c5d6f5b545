// The words of the error that the system's code throws, for the unit tests
// that check a refusal's message.
#ifndef THROWNERRORS_H
#define THROWNERRORS_H

#include <functional>
#include <string>

#include "ErrorHandling.h"

namespace testing_support {

/// The raw message of the system's error that `call` throws; empty when it
/// throws none.
inline std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

} // namespace testing_support

#endif // THROWNERRORS_H
