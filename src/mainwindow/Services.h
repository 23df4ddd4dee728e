#pragma once

namespace torvane {

class FileSystem;
class Shell;
class Prompter;
class HttpClient;
class AppInfo;

// The collaborators every window receives. Not owned.
struct Services {
    FileSystem* fileSystem = nullptr;
    Shell* shell = nullptr;
    Prompter* prompter = nullptr;
    HttpClient* http = nullptr;
    AppInfo* appInfo = nullptr;
};

} // namespace torvane
