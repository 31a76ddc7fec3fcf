// The configuration tool's version information, in one place: the window's title
// and version block and the registry class's BaseKey read it from here.
#pragma once

namespace setup_version {

inline constexpr const char* kCompanyName = "Orlenby";
inline constexpr const char* kProductName = "Pellicor setup";
inline constexpr const char* kFileDescription = "Pellicor setup";
inline constexpr const char* kInternalName = "PellicorSetup";
inline constexpr const char* kOriginalFilename = "PellicorSetup.exe";
inline constexpr int kMajor = 1;
inline constexpr int kMinor = 1;
inline constexpr int kRevision = 0;
inline constexpr int kBuild = 8;
inline constexpr const char* kVersionString = "1.01.0008";

}  // namespace setup_version
