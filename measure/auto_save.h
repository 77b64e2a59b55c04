#pragma once
// Unattended logging: with auto save on, every accepted fetch is written at once to its own
// measurement file in a folder on the user's desktop, named after the local time. Failures
// are silent; the fetch carries on with its redraw.

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

inline constexpr const char* kAutoSaveFolderName = "Ferrolog_AutoSave";

// "%m%d%Y_%H%M%S_%ddbm" of the local time: 7 Dec 2026 01:30:45 -> "12072026_013045_07dbm".
// The day of the month appears twice; that is the files' established name.
std::string AutoSaveStamp(const std::tm& local);

// "emf_<stamp>.csv" for a field block, "rfspectrum_<stamp>_<threshold>dBm.csv" for a
// spectrum (any non-zero kind), threshold in dBm as a signed decimal.
std::string AutoSaveFileName(uint8_t kind, const std::string& stamp, int threshold);

// The user's desktop, in UTF-8, each system's own (desktop_folder_posix.cpp,
// desktop_folder_win32.cpp). POSIX: $XDG_DESKTOP_DIR, else the XDG_DESKTOP_DIR line of
// ${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs, else $HOME/Desktop; empty when not even
// HOME is known. Windows: the shell's Desktop known folder; empty when it has none. No
// trailing separator.
std::string DesktopFolder();

// DesktopFolder() + "/Ferrolog_AutoSave"; empty when the desktop is unknown.
std::string AutoSaveFolder();

// When `enabled`, creates the auto-save folder (an existing one is fine) and writes the
// measurement file named after `now` in local time. Returns the path written, or an empty
// string when disabled or when anything failed. Never throws on file-system errors.
std::string AutoSaveMeasurement(bool enabled, uint8_t kind, std::span<const uint8_t> buffer,
                                int threshold, std::time_t now);
