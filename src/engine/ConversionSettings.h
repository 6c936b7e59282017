#pragma once
// The option set chosen in the main window, its five stored values and the
// numbers a conversion derives from it.

#include <QString>
#include <array>
#include <cstdint>

namespace zem {

struct VideoSizeRow {
    const char* label;   // the window's radio button
    const char* cliName; // zemconvert's -s value; nullptr: not offered there
    int width;
    int height;
};

// The picture sizes: the one list the window's "Video" buttons (with their
// control ids and places, kVideoSizeButtons) and zemconvert's -s names are
// made from. Radio-button order of the "Video" group, which is the stored
// value, not the order of sizes. Row 6 is a hidden duplicate of row 2.
inline constexpr std::array<VideoSizeRow, 7> kVideoSizeTable{{
    {"320 x 240", "320x240", 320, 240},
    {"96 x 64", "96x64", 96, 64},
    {"176 x 128", "176x128", 176, 128},
    {"128 x 128", "128x128", 128, 128},
    {"160 x 128", "160x128", 160, 128},
    {"208 x 176", "208x176", 208, 176},
    {"176 x 128", nullptr, 176, 128},
}};

// The sizes zemconvert offers: the rows with a command-line name, which come first.
inline constexpr size_t kNamedVideoSizes = [] {
    size_t named = 0;
    while (named < kVideoSizeTable.size() && kVideoSizeTable[named].cliName != nullptr)
        ++named;
    return named;
}();

struct QualityRow {
    const char* label;
    int jpegQuality;
};

inline constexpr std::array<QualityRow, 5> kQualityTable{{
    {"high definition", 95},
    {"high frame", 90},
    {"Standard", 80},
    {"Middle", 50},
    {"Low", 50},
}};

inline constexpr int kFrameRate = 16;          // every output runs at 16 frames per second
inline constexpr int kFormatVersionJpeg = 3;   // frames are always JPEG pictures
inline constexpr int kDefaultQualityIndex = 2; // "Standard", until another is chosen

// Settings file: section and keys.
inline constexpr const char* kSettingsSection = "ZemConverter";
inline constexpr const char* kKeyVideoSize = "VideoSize";
inline constexpr const char* kKeyRotate = "Rotate";
inline constexpr const char* kKeyAllFlag = "AllFlag";
inline constexpr const char* kKeySaveMp3 = "SaveMp3";
inline constexpr const char* kKeyMonitoring = "Monitoring";
// Files written before the quality was kept have no such key: "Standard" then.
inline constexpr const char* kKeyQuality = "Quality";
// 1: pictures keep their proportions inside the size, on black; absent or 0: stretched.
inline constexpr const char* kKeyKeepProportions = "KeepProportions";

enum Rotation : int32_t { kRotateNone = 0, kRotateLeft = 1, kRotateRight = 2 };

// All members are 32-bit signed; a radio-group member holds the position of the
// checked button in its group, -1 when none is checked.
struct ConversionSettings {
    int32_t m_videoSizeIndex = -1;
    int32_t m_qualityIndex = -1;
    int32_t m_rotate = -1;
    int32_t m_convertAll = -1;
    int32_t m_monitoring = 0;
    int32_t m_saveMp3 = 0;
    int32_t m_saveFrames = 0;
    int32_t m_subtitle = 0;
    int32_t m_subtitleSize = 1;
    int32_t m_formatVersion = -1;
    int32_t m_keepProportions = 0;

    // Derived at every conversion start.
    int32_t m_videoWidth = 0;
    int32_t m_videoHeight = 0;
    int32_t m_jpegQuality = 0;
    int32_t m_frameRate = 0;

    // Reads the five stored keys from section "ZemConverter" of the INI file at
    // `path` (missing file or key gives the default), then sets quality to
    // "Standard" and frame saving off.
    void Load(const QString& path);
    // Writes the five stored keys, in their fixed order.
    void Save(const QString& path) const;
    // Turns the options into the numbers the engine uses. A size or rotation
    // outside its table (a hand-edited settings file) falls back to row 0 and
    // no rotation rather than reaching the engine.
    void DeriveConversionNumbers();

    // The stored picture size after rotation: a quarter turn swaps the sides.
    int32_t StoredWidth() const { return m_rotate == kRotateNone ? m_videoWidth : m_videoHeight; }
    int32_t StoredHeight() const { return m_rotate == kRotateNone ? m_videoHeight : m_videoWidth; }
};

// ~/.config/ZemConverter/ZemConverter.ini, or $XDG_CONFIG_HOME/ZemConverter/...
QString DefaultSettingsFilePath();
// "PATH is not a regular file" when something other than a file (a FIFO, a
// device, a folder) is in the settings file's place; empty otherwise.
QString SettingsFileProblem(const QString& path);

} // namespace zem
