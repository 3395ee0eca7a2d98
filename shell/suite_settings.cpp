#include "shell/suite_settings.h"

#include "engine/profile_file.h"

namespace tarnel {

namespace {
std::string g_mainFile;
std::string g_programFile;
std::string g_viewerPath;
} // namespace

void InitSuiteSettings()
{
    const std::string folder = SuiteSettingsFolder(SuiteFolderName);
    g_mainFile = folder + "Vantor32.ini";
    g_programFile = folder + "Tarnel.ini";
}

const std::string& SuiteMainSettingsFile() { return g_mainFile; }
const std::string& ProgramSettingsFile() { return g_programFile; }

void ReadViewerPath()
{
    g_viewerPath = g_mainFile.empty() ? std::string()
                                      : ReadProfileString(g_mainFile, "Path", "ViewerPath");
}

const std::string& ViewerPath() { return g_viewerPath; }

} // namespace tarnel
