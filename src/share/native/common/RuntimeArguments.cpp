#include "RuntimeArguments.h"

#include "FileUtils.h"

RuntimeArguments runtimeArguments(const CfgFile& cfgFile,
                                  const StringArray& moreOptions,
                                  const std::string& executablePath) {
    using SectionName::Application;
    RuntimeArguments result;
    StringArray& args = result.args;

    for (const std::string& path :
         cfgFile.values(Application, PropertyName::modulepath)) {
        args.push_back("--module-path");
        args.push_back(path);
    }

    // A class path given as an empty list still counts: "-classpath" and
    // an empty value.
    const CfgFile::Properties& appOptions =
            cfgFile.getProperties(Application);
    const CfgFile::Properties::const_iterator classPath =
            appOptions.find(PropertyName::classpath);
    if (classPath != appOptions.end()) {
        args.push_back("-classpath");
        args.push_back(CfgFile::asPathList(*classPath));
    }

    const StringArray& splash =
            cfgFile.values(Application, PropertyName::splash);
    if (!splash.empty()) {
        if (FileUtils::isFileExists(splash.back())) {
            args.push_back("-splash:" + splash.back());
        } else {
            result.splashLeftOut = true;
            result.missingSplash = splash.back();
        }
    }

    const StringArray& javaOptions =
            cfgFile.values(SectionName::JavaOptions, PropertyName::javaOptions);
    args.insert(args.end(), javaOptions.begin(), javaOptions.end());
    args.insert(args.end(), moreOptions.begin(), moreOptions.end());
    result.optionsEnd = args.size();

    args.push_back("-Dvantry.app-path=" + executablePath);
    const std::size_t beforeMain = args.size();

    const StringArray& mainModule =
            cfgFile.values(Application, PropertyName::mainmodule);
    if (!mainModule.empty()) {
        args.push_back("-m");
        args.push_back(mainModule.back());
    }

    const StringArray& mainClass =
            cfgFile.values(Application, PropertyName::mainclass);
    if (!mainClass.empty()) {
        args.push_back(mainClass.back());
    }

    const StringArray& mainJar =
            cfgFile.values(Application, PropertyName::mainjar);
    if (!mainJar.empty()) {
        args.push_back("-jar");
        args.push_back(mainJar.back());
    }

    result.mainTarget = args.size() != beforeMain;
    result.appArgsPos = args.size();

    const StringArray& arguments =
            cfgFile.values(SectionName::ArgOptions, PropertyName::arguments);
    args.insert(args.end(), arguments.begin(), arguments.end());
    return result;
}
