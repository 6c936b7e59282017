#pragma once
// The window's settings file: the option set's stored values in section
// "ZemConverter" of an INI file, beside the window's own keys.

#include "ConversionSettings.h"

#include <QString>

namespace zem::app {

// Section and the keys of the window's own options; the options with choices
// carry their keys in their declarations.
inline constexpr const char* kSettingsSection = "ZemConverter";
inline constexpr const char* kKeyAllFlag = "AllFlag";
inline constexpr const char* kKeyMonitoring = "Monitoring";

// Reads the stored keys from the INI file at `path` into `settings` (a
// missing file or key gives the default), then sets frame saving off.
void LoadSettingsFile(const QString& path, ConversionSettings& settings);
// Writes the stored keys, in their fixed order.
void SaveSettingsFile(const QString& path, const ConversionSettings& settings);

// ~/.config/ZemConverter/ZemConverter.ini, or $XDG_CONFIG_HOME/ZemConverter/...
QString DefaultSettingsFilePath();
// "PATH is not a regular file" when something other than a file (a FIFO, a
// device, a folder) is in the settings file's place; empty otherwise.
QString SettingsFileProblem(const QString& path);

} // namespace zem::app
