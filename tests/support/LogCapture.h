// Log sinks and loader probes shared by the tests.
#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

#include "Log.h"

namespace testing_support {

/// Installs itself as the default logger's sink and keeps every record;
/// the sink it replaced is installed again when it is destroyed.
class RecordingSink : public LogAppender {
public:
    RecordingSink() : previous(&Logger::defaultLogger().currentAppender()) {
        Logger::defaultLogger().installAppender(*this);
    }
    ~RecordingSink() override {
        Logger::defaultLogger().installAppender(*previous);
    }
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    void append(const LogEvent& event) override { events.push_back(event); }

    /// The messages of the records, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> result;
        for (const LogEvent& e : events) {
            result.push_back(e.message);
        }
        return result;
    }

    /// The records of one level ("TRACE", "WARNING", ...).
    std::vector<LogEvent> withLevel(const std::string& level) const {
        std::vector<LogEvent> result;
        for (const LogEvent& e : events) {
            if (e.levelName == level) {
                result.push_back(e);
            }
        }
        return result;
    }

    std::vector<LogEvent> events;

private:
    LogAppender* previous;
};

/// Keeps a copy of every record it receives and writes nothing; `journal`,
/// when given, gets "<tag>:<message>" for each, so that the order across
/// sinks can be checked.
class RecordingAppender : public LogAppender {
public:
    explicit RecordingAppender(std::string tag = std::string(),
                               std::vector<std::string>* journal = nullptr)
        : tag(std::move(tag)), journal(journal) {}

    void append(const LogEvent& event) override {
        events.push_back(event);
        if (journal) {
            journal->push_back(tag + ":" + event.message);
        }
    }

    std::vector<LogEvent> events;

private:
    std::string tag;
    std::vector<std::string>* journal;
};

/// Installs the default logger's current sink again when destroyed.
class DefaultSinkGuard {
public:
    DefaultSinkGuard() : saved(&Logger::defaultLogger().currentAppender()) {}
    ~DefaultSinkGuard() { Logger::defaultLogger().installAppender(*saved); }
    DefaultSinkGuard(const DefaultSinkGuard&) = delete;
    DefaultSinkGuard& operator=(const DefaultSinkGuard&) = delete;

private:
    LogAppender* saved;
};

/// The loader's own error text for opening the library at `path`, or
/// "<loaded>" when it opens.
inline std::string dlopenError(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY);
    if (handle != nullptr) {
        dlclose(handle);
        return "<loaded>";
    }
    const char* error = dlerror();
    return error ? error : "";
}

/// The loader's own error text for resolving `name` in the library at
/// `path`, or "<found>" when it resolves.
inline std::string dlsymError(const std::string& path, const char* name) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY);
    if (handle == nullptr) {
        return "<not loaded>";
    }
    dlerror();
    void* symbol = dlsym(handle, name);
    const char* error = dlerror();
    const std::string text = symbol ? "<found>" : (error ? error : "");
    dlclose(handle);
    return text;
}

/// True while some handle keeps the library at `path` loaded.
inline bool isLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (h == nullptr) {
        return false;
    }
    dlclose(h);
    return true;
}

/// Tells whether the handles opened since its creation are all closed again.
/// When other code of this process already held the library, that cannot be
/// seen, and it answers yes.
class LoadWatch {
public:
    explicit LoadWatch(const std::string& path)
        : path(path), heldBefore(isLoaded(path)) {}
    bool released() const { return heldBefore || !isLoaded(path); }

private:
    std::string path;
    bool heldBefore;
};

} // namespace testing_support

#endif // LOGCAPTURE_H
