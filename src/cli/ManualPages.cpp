#include "ManualPages.h"

#include "CliOptions.h"
#include "ConversionPaths.h"
#include "OptionTable.h"
#include "ScratchFolder.h"
#include "Subtitles.h"

namespace zem::cli {

namespace {

constexpr const char* kManualSource = "ZemConverter " ZEM_VERSION;
constexpr const char* kSettingsFile = "~/.config/ZemConverter/ZemConverter.ini";
constexpr const char* kListFile = "~/.config/ZemConverter/FileList.json";

std::string Header(const std::string& name, const std::string& what) {
    std::string upper = name;
    for (char& c : upper)
        c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return ".TH " + upper + " 1 \"\" \"" + kManualSource + "\" \"User Commands\"\n.SH NAME\n" + name + " \\- " +
           RoffText(what) + "\n";
}

std::string Section(const std::string& title) {
    return ".SH " + title + "\n";
}

std::string Paragraph(const std::string& text) {
    return ".PP\n" + RoffText(text) + "\n";
}

// One tagged paragraph: the tag in bold, the text under it.
std::string Item(const std::string& tag, const std::string& text) {
    return ".TP\n.B " + RoffText(tag) + "\n" + RoffText(text) + "\n";
}

std::string Example(const std::string& what, const std::string& command) {
    return ".PP\n" + RoffText(what) + "\n.PP\n.RS 4\n.EX\n" + RoffText(command) + "\n.EE\n.RE\n";
}

// "-s, --size WxH": the names in bold, the argument in italics.
std::string OptionTag(const OptionSpec& option) {
    std::string tag = ".TP\n";
    if (option.shortName)
        tag += "\\fB\\-" + std::string(1, option.shortName) + "\\fR, ";
    tag += "\\fB" + RoffText("--" + std::string(option.longName)) + "\\fR";
    if (option.valueName)
        tag += " \\fI" + RoffText(option.valueName) + "\\fR";
    return tag + "\n";
}

std::string Environment() {
    return Section("ENVIRONMENT") +
           Item("GST_PLUGIN_PATH", "further folders of GStreamer plug-ins, which decode the inputs") +
           Item("GST_DEBUG", "GStreamer's own log (for example GST_DEBUG=3), written on standard error") +
           Item("LC_ALL, LC_MESSAGES, LANG",
                "the language of the window's texts and manual and of zemconvert's help, messages and status "
                "lines, the first set of the three: Korean, Simplified or Traditional Chinese, else English "
                "(LC_ALL=C: English); zemconvert's --json lines stay English");
}

} // namespace

std::string RoffText(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string ZemconvertManual() {
    std::string page = Header("zemconvert", "convert video files into Motion-JPEG AVI files for portable players");
    page += Section("SYNOPSIS") +
            ".B zemconvert\n[\\fIOPTIONS\\fR] \\fIINPUT\\fR...\n.br\n.B zemconvert\n"
            "[\\fIOPTIONS\\fR] \\fB\\-\\-files\\-from\\fR \\fILIST\\fR [\\fB\\-0\\fR]\n";
    page += Section("DESCRIPTION");
    page += Paragraph(kTextPurpose);
    page += Paragraph("zemconvert reads the video files the window program zemconverter reads, by their endings: " +
                      AcceptedInputEndingsText() +
                      ". Each input is written to its own output, by default beside it with its name and \"" +
                      kOutputSuffix +
                      "\" in place of its extension; outputs of one call that would share a name are numbered, and "
                      "an output that is one of the inputs is refused.");
    page += Paragraph(
        "Subtitles are drawn into the pictures: a file beside the film with its name and one of the endings " +
        media::SubtitleEndingsText() +
        " (in that order of preference), else the film's own text track. "
        "A subtitle file that cannot be read never stops a conversion; a warning says so.");
    page += Paragraph(kTextInterrupt);
    page += Section("OPTIONS");
    for (const OptionSpec& option : Options())
        if (!option.hidden)
            page += OptionTag(option) + RoffText(FullHelp(option)) + "\n";
    page += Section("JSON OUTPUT");
    page += Paragraph(
        "With --json, standard output carries one JSON object a line and nothing else; messages stay "
        "on standard error. Every object has \"event\" and \"input\":");
    page += Item("start", "a file begins: \"output\" names the file it goes to.");
    page += Item("progress", "a tenth more is converted: \"percent\" (0 to 100).");
    page += Item("warning", "something was left out, the film still converts: \"text\" says what.");
    page += Item("result",
                 "the file ended: \"output\", \"status\" (\"completed\", \"stopped\" with what was converted "
                 "written, or \"failed\" with nothing written), \"frames\", \"size\" in bytes, \"duration\" in "
                 "seconds, and \"code\" and \"text\" saying why it failed, stopped or was cut.");
    page += Paragraph(
        "A file name that is not UTF-8 keeps its other bytes as the escapes \\udc80 to \\udcff; "
        "as not every JSON reader keeps those, the \"start\" and \"result\" objects of such a file "
        "also carry \"input_bytes\" and \"output_bytes\", the names' bytes in base64.");
    page += Section("EXIT STATUS");
    page += Item("0", "every input converted");
    page += Item("1", "an input did not convert, or the run was stopped");
    page += Item("2",
                 "bad usage: an unknown option or value, a list that cannot be read, an input that is no video "
                 "file the converter reads");
    page += Environment();
    page += Section("FILES");
    page += Item(std::string(kScratchFolderPrefix) + "XXXXXX",
                 "the private folder (mode 0700) each conversion works in, made in the output's folder; the "
                 "finished output takes its name by a rename, so it never appears cut. A folder left by a killed "
                 "conversion is removed by the next conversion in that folder.");
    page += Item(kSettingsFile,
                 "the window's settings; zemconvert reads none: its choices are those on its "
                 "command line, with the defaults above");
    page += Section("EXAMPLES");
    page += Example("Convert a film for a 176x128 screen held sideways, into a folder of its own:",
                    "zemconvert -s 176x128 -r left -d out/ film.mkv");
    page +=
        Example("Convert a minute and a half of a film:", "zemconvert --start 1:30 --end 3:00 -o part.avi film.mpg");
    page += Example("Convert every video under a folder, two at a time, names with spaces and all:",
                    "find videos/ -name '*.mp4' -print0 | zemconvert -0 --files-from - -j 2 -d out/");
    page += Example("Spread a library over this machine and another, gathering the results as JSON lines:",
                    "find videos/ -name '*.mkv' | parallel -j 2 -S :,otherhost zemconvert --json -d out/ {} "
                    "> results.jsonl");
    page += Section("SEE ALSO") + ".BR zemconverter (1),\n.BR find (1),\n.BR parallel (1)\n";
    return page;
}

std::string ZemconverterManual() {
    std::string page = Header("zemconverter", "convert video files for portable players, in a window");
    page += Section("SYNOPSIS") + ".B zemconverter\n[\\fB\\-nosplash\\fR] [\\fIFILE\\fR...]\n";
    page += Section("DESCRIPTION");
    page += Paragraph(std::string("zemconverter turns ordinary video files (") + AcceptedInputEndingsText() +
                      ") into the one file a small-screen portable player reads. " + kTextPurpose);
    page += Paragraph(
        "Add files by the open dialog or by dropping them on the window, pick the picture size, "
        "quality and rotation, preview a file and mark the range to convert, and convert the selected "
        "file or all of them. Help (or F1) opens the user's guide in the desktop's browser, or in the "
        "program's own viewer where no browser opens it. Esc closes the window; while files convert, it asks "
        "before it closes, and no key ends the program.");
    page += Paragraph("Files named on the command line open in the window's list as if dropped on it.");
    page += Section("OPTIONS");
    page += Item("-nosplash", "start without the splash picture");
    page += Section("EXIT STATUS") + Paragraph("0 when the window was closed.");
    page += Environment();
    page += Section("FILES");
    page += Item(kSettingsFile, "the window's settings: size, quality, rotation and the other choices");
    page += Item(kListFile, "the list of files with each row's output and range, brought back at the next start");
    page += Item(std::string(kScratchFolderPrefix) + "XXXXXX",
                 "the private folder each conversion works in, made in the output's folder and removed when done");
    page += Section("SEE ALSO") + ".BR zemconvert (1)\n";
    return page;
}

} // namespace zem::cli
