// The alert on macOS: CoreFoundation's user notification, plain C, usable
// before (and without) any application object.
#include "ErrorAlert.h"

#include <CoreFoundation/CoreFoundation.h>

namespace {

// Owns one CoreFoundation string.
class CfString {
public:
    explicit CfString(const std::string& text)
        : ref(CFStringCreateWithBytes(
                  kCFAllocatorDefault,
                  reinterpret_cast<const UInt8*>(text.data()),
                  static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8,
                  false)) {
        if (ref == nullptr) {
            // Not UTF-8: every byte sequence is valid Mac Roman.
            ref = CFStringCreateWithBytes(
                    kCFAllocatorDefault,
                    reinterpret_cast<const UInt8*>(text.data()),
                    static_cast<CFIndex>(text.size()),
                    kCFStringEncodingMacRoman, false);
        }
    }
    ~CfString() {
        if (ref != nullptr) {
            CFRelease(ref);
        }
    }
    CfString(const CfString&) = delete;
    CfString& operator=(const CfString&) = delete;

    CFStringRef get() const { return ref; }

private:
    CFStringRef ref;
};

} // namespace

void showErrorAlert(const std::string& title, const std::string& message) {
    const CfString header(title);
    const CfString text(message);
    if (header.get() == nullptr || text.get() == nullptr) {
        return;
    }
    CFOptionFlags response = 0;
    CFUserNotificationDisplayAlert(0, kCFUserNotificationStopAlertLevel,
                                   nullptr, nullptr, nullptr, header.get(),
                                   text.get(), nullptr, nullptr, nullptr,
                                   &response);
}
