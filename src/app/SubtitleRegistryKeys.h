#pragma once
// Where the subtitle renderer keeps its settings in the registry store, and
// the values it reads (CompressorDlgCodec.cpp; the start height in CompressorDlg.cpp).

#include <array>
#include <cstddef>
#include <cstdint>

#include "OptionChoices.h"

namespace zem::app {

// Subtitle renderer settings in the registry store.
inline constexpr const char* kSubtitleGeneralKey = "Software\\Vexlin\\DVobSub\\General\\";
inline constexpr const char* kSubtitleTextKey = "Software\\Vexlin\\DVobSub\\Text\\";
inline constexpr const char* kLoadLevelValue = "LoadLevel";
inline constexpr const char* kLogFontValue = "LOGFONT";
inline constexpr int kLogFontSize = 92;
inline constexpr uint32_t kLoadLevelOn = 0;
inline constexpr uint32_t kLoadLevelOff = 2;
inline constexpr int32_t kStartSubtitleHeight = zem::kSubtitleSizeOption.Default().value;
inline constexpr std::array<const char*, 11> kSubtitleClassIds{
    "{0180E49C-13BF-46DB-9AFD-9F52292E1C22}", "{525F116F-04AD-40A2-AE2F-A0C4E1AFEF98}",
    "{60765CF5-01C2-4EE7-A44B-C791CF25FEA0}", "{93A22E7A-5091-45EF-BA61-6DA26156A5D0}",
    "{9852A670-F845-491B-9BE6-EBD841B8A613}", "{A144E330-841A-4FE1-BBAF-57F1CB465C19}",
    "{A8B25C0E-0894-4531-B668-AB1599FAF7F6}", "{ACE4747B-35BD-4E97-9DD7-1D4245B0695C}",
    "{C2D6D98F-09CA-4524-AF64-1049B5665C9C}", "{CE77C59C-CFD2-429F-868C-8B04D23F94CA}",
    "{F544E0F5-CA3C-47EA-A64D-35FCF1602396}"};
inline constexpr const char* kClassKeyPrefix = "CLSID\\";
inline constexpr const char* kClassKeySuffix = "\\InprocServer32\\";
// The subtitle filter's file, below the system's library folder.
inline constexpr const char* kSystemFolder = "/usr/lib";
inline constexpr const char* kSubtitleFilterFile = "/VSfilter/DVobSub.ax";

} // namespace zem::app
