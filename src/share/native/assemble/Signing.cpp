#include "Signing.h"

namespace {

StringArray signCommand(const SigningPlan& plan, const std::string& path,
                        bool withEntitlements) {
    StringArray args{"--force"};
    if (plan.identity != "-") {
        args.push_back("--timestamp");
    }
    args.insert(args.end(), {"--options", "runtime"});
    if (withEntitlements) {
        args.insert(args.end(), {"--entitlements", plan.entitlements});
    }
    args.insert(args.end(), {"--sign", plan.identity, path});
    return args;
}

} // namespace

std::vector<StringArray> signingCommands(const SigningPlan& plan) {
    std::vector<StringArray> commands;
    for (const std::string& file : plan.machOFiles) {
        commands.push_back(signCommand(plan, file, false));
    }
    if (!plan.runtimeBundle.empty()) {
        commands.push_back(signCommand(plan, plan.runtimeBundle, false));
    }
    commands.push_back(signCommand(plan, plan.launcher, true));
    commands.push_back(signCommand(plan, plan.bundle, true));
    commands.push_back(StringArray{"--verify", "--deep", "--strict",
                                   "--verbose=2", plan.bundle});
    return commands;
}
