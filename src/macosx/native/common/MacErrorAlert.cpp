// The alert on macOS: CoreFoundation's user notification, plain C, usable
// before (and without) any application object; its title comes from the
// main bundle's Info.plist, which CoreFoundation reads.
#include "ErrorAlert.h"

#include <CoreFoundation/CoreFoundation.h>

#include <vector>

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

// The UTF-8 text of a string value of the main bundle's Info.plist (or of
// its localized InfoPlist.strings); empty when the key is missing or its
// value is no string.
std::string bundleString(CFStringRef key) {
    const CFBundleRef bundle = CFBundleGetMainBundle();
    if (bundle == nullptr) {
        return std::string();
    }
    const CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return std::string();
    }
    const CFStringRef text = static_cast<CFStringRef>(value);
    const CFIndex size = CFStringGetMaximumSizeForEncoding(
            CFStringGetLength(text), kCFStringEncodingUTF8) + 1;
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    if (!CFStringGetCString(text, buffer.data(), size,
                            kCFStringEncodingUTF8)) {
        return std::string();
    }
    return std::string(buffer.data());
}

} // namespace

std::string applicationDisplayName(const std::string& executableName) {
    for (const CFStringRef key : {CFSTR("CFBundleDisplayName"),
                                  CFSTR("CFBundleName")}) {
        const std::string name = bundleString(key);
        if (!name.empty()) {
            return name;
        }
    }
    return executableName;
}

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
