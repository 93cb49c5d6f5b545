// The entitlements the launcher is signed with under the hardened runtime:
// those the JVM in its process needs, and those that the permissions the
// application asks for (bundle.usage) require.
#ifndef ENTITLEMENTS_H
#define ENTITLEMENTS_H

#include <string>
#include <vector>

#include "Description.h"

/// The entitlements property list, ready for `codesign --entitlements`.
/// Without usage texts it is the installed template.
std::string entitlements(const std::vector<UsageText>& usages);

#endif // ENTITLEMENTS_H
