#include "Entitlements.h"

namespace {

// The JVM writes code at run time (allow-jit); older runtimes map
// executable memory without MAP_JIT; the runtime's libraries are signed by
// another team when a vendor's runtime is used as it is.
const char* const jvmEntitlements[] = {
    "com.apple.security.cs.allow-jit",
    "com.apple.security.cs.allow-unsigned-executable-memory",
    "com.apple.security.cs.disable-library-validation",
};

// Under the hardened runtime the system refuses these resources to a
// process without the entitlement, whatever the user answers.
struct ResourceEntitlement {
    const char* usageKey;
    const char* entitlement;
};

const ResourceEntitlement resourceEntitlements[] = {
    {"NSAppleEventsUsageDescription",
     "com.apple.security.automation.apple-events"},
    {"NSCalendarsUsageDescription",
     "com.apple.security.personal-information.calendars"},
    {"NSCameraUsageDescription", "com.apple.security.device.camera"},
    {"NSContactsUsageDescription",
     "com.apple.security.personal-information.addressbook"},
    {"NSLocationUsageDescription",
     "com.apple.security.personal-information.location"},
    {"NSMicrophoneUsageDescription", "com.apple.security.device.audio-input"},
    {"NSPhotoLibraryUsageDescription",
     "com.apple.security.personal-information.photos-library"},
};

} // namespace

std::string entitlements(const std::vector<UsageText>& usages) {
    std::string text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n<dict>\n";
    for (const char* name : jvmEntitlements) {
        text += std::string("  <key>") + name + "</key>\n  <true/>\n";
    }
    for (const ResourceEntitlement& resource : resourceEntitlements) {
        for (const UsageText& usage : usages) {
            if (usage.key == resource.usageKey) {
                text += std::string("  <key>") + resource.entitlement
                        + "</key>\n  <true/>\n";
                break;
            }
        }
    }
    return text + "</dict>\n</plist>\n";
}
