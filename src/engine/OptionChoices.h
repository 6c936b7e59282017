#pragma once
// Every choice a user makes about a conversion, each declared once: its
// name on zemconvert's command line, the language key of the window's label,
// the number it is stored as (which is also its radio button's place in its
// group) and what it means to the engine. The window's radio groups and
// labels, zemconvert's parser, help, manual page and completion, and the
// settings file are all made from these tables; nothing else lists them.

#include <array>
#include <cstddef>
#include <span>

namespace zem {

// One choice of an option with several.
struct OptionChoice {
    const char* cliName;  // zemconvert's name; nullptr: the command line does not offer it
    const char* labelKey; // the window's label and its language key; "" for a button beside a picture
    int stored;           // settings-file number and place in the radio group
    int value;            // what the engine gets: pixel width, JPEG quality, quarter turns, letter height
    int value2;           // a picture size's height; 0 otherwise
};

// An option whose value is one of `choices`.
struct ChoiceOption {
    const char* cliLong;     // zemconvert's long name, without "--"
    char cliShort;           // 0: none
    const char* settingsKey; // key in section "ZemConverter"; nullptr: not kept between sessions
    std::span<const OptionChoice> choices;
    int defaultStored; // the choice taken when nothing else says

    // The choice stored as `stored`, or nullptr (a hand-edited settings file).
    constexpr const OptionChoice* Find(int stored) const {
        for (const OptionChoice& choice : choices)
            if (choice.stored == stored)
                return &choice;
        return nullptr;
    }
    constexpr const OptionChoice& Default() const { return *Find(defaultStored); }
    // The choice stored as `stored`, the default for anything else.
    constexpr const OptionChoice& Resolve(int stored) const {
        const OptionChoice* choice = Find(stored);
        return choice != nullptr ? *choice : Default();
    }
};

// An option that is on or off.
struct SwitchOption {
    const char* cliLong;     // zemconvert's switch, without "--"; nullptr: not offered there
    const char* labelKey;    // the window's check box
    const char* settingsKey; // nullptr: not kept between sessions
    bool defaultOn;
};

enum Rotation : int { kRotateNone = 0, kRotateLeft = 1, kRotateRight = 2 };

// Picture sizes, in the radio buttons' order, which is not the order of
// sizes. The last is a hidden duplicate of "176 x 128" that only an old
// settings file can choose.
inline constexpr std::array<OptionChoice, 7> kSizeChoices{{
    {"320x240", "320 x 240", 0, 320, 240},
    {"96x64", "96 x 64", 1, 96, 64},
    {"176x128", "176 x 128", 2, 176, 128},
    {"128x128", "128 x 128", 3, 128, 128},
    {"160x128", "160 x 128", 4, 160, 128},
    {"208x176", "208 x 176", 5, 208, 176},
    {nullptr, "176 x 128", 6, 176, 128},
}};

// JPEG quality on the 0..100 scale; "Middle" and "Low" are the same.
inline constexpr std::array<OptionChoice, 5> kQualityChoices{{
    {"high-definition", "high definition", 0, 95, 0},
    {"high-frame", "high frame", 1, 90, 0},
    {"standard", "Standard", 2, 80, 0},
    {"middle", "Middle", 3, 50, 0},
    {"low", "Low", 4, 50, 0},
}};

// The window shows a figure beside each button instead of a text.
inline constexpr std::array<OptionChoice, 3> kRotationChoices{{
    {"none", "", 0, kRotateNone, 0},
    {"left", "", 1, kRotateLeft, 0},
    {"right", "", 2, kRotateRight, 0},
}};

// Letter heights of the subtitles: the renderer's font height, pixels of a
// picture 288 lines tall (negative: the letters' own height).
inline constexpr std::array<OptionChoice, 3> kSubtitleSizeChoices{{
    {"big", "Big", 0, -48, 0},
    {"middle", "Middle", 1, -36, 0},
    {"small", "Small", 2, -32, 0},
}};

inline constexpr ChoiceOption kSizeOption{"size", 's', "VideoSize", kSizeChoices, 0};
// Files written before the quality was kept have no such key: "Standard" then.
inline constexpr ChoiceOption kQualityOption{"quality", 'q', "Quality", kQualityChoices, 2};
inline constexpr ChoiceOption kRotationOption{"rotate", 'r', "Rotate", kRotationChoices, 0};
inline constexpr ChoiceOption kSubtitleSizeOption{"subtitle-size", 0, nullptr, kSubtitleSizeChoices, 1};

// The intermediate sound file kept beside the output.
inline constexpr SwitchOption kKeepMp3Option{"keep-mp3", "Save audio to MP3 file", "SaveMp3", false};
// Pictures scaled to fit inside the size, centred on black, instead of stretched to it.
inline constexpr SwitchOption kKeepProportionsOption{"keep-proportions", "Keep proportions", "KeepProportions", false};

// The options with choices, for whoever goes through all of them.
inline constexpr std::array<const ChoiceOption*, 4> kChoiceOptions{&kSizeOption, &kQualityOption, &kRotationOption,
                                                                   &kSubtitleSizeOption};
inline constexpr std::array<const SwitchOption*, 2> kSwitchOptions{&kKeepMp3Option, &kKeepProportionsOption};

// How many choices the command line offers (they come first in each table).
constexpr std::size_t NamedChoices(std::span<const OptionChoice> choices) {
    std::size_t named = 0;
    while (named < choices.size() && choices[named].cliName != nullptr)
        ++named;
    return named;
}

} // namespace zem
