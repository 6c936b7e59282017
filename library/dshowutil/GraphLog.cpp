#include "GraphLog.h"

#include "dshowutil.h"

#include <cstdlib>
#include <ctime>

namespace {

constexpr const char* kProgramFolder = "ZemConverter";
constexpr const char* kLogFolder = "Log";
constexpr const char* kSnapshotFolder = "GRF";
constexpr std::size_t kNameBuffer = 4096; // the platform's path limit

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    return home ? std::filesystem::path(home) : std::filesystem::path();
}

struct UtcFields {
    int year, month, day, hour, minute, second, millisecond;
};

UtcFields Split(std::chrono::system_clock::time_point utc) {
    const auto since = utc.time_since_epoch();
    const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

bool FolderExists(const std::filesystem::path& folder) {
    std::error_code ec;
    return !folder.empty() && std::filesystem::is_directory(folder, ec);
}

} // namespace

std::filesystem::path GraphLogFolder() {
    return HomeFolder() / kProgramFolder / kLogFolder;
}
std::filesystem::path GraphSnapshotFolder() {
    return HomeFolder() / kProgramFolder / kSnapshotFolder;
}

std::string GraphLogFileName(std::chrono::system_clock::time_point utc) {
    const UtcFields t = Split(utc);
    char name[kNameBuffer];
    std::snprintf(name, sizeof name, "ZemConverter_%04d%02d%02d_%02d%02d%02d_%03d.doc", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond);
    return name;
}

std::string GraphSnapshotFileName(std::chrono::system_clock::time_point utc, const std::string& label) {
    const UtcFields t = Split(utc);
    char name[kNameBuffer];
    std::snprintf(name, sizeof name, "ZemConverter_%04d%02d%02d_%02d%02d%02d_%03d_%s.grf", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond, label.c_str());
    return name;
}

void GraphLogFile::Open(IGraphBuilder* graph) {
    if (!graph)
        return;
    Close(graph);
    m_path.clear();
    const auto folder = GraphLogFolder();
    if (FolderExists(folder)) {
        m_path = folder / GraphLogFileName(std::chrono::system_clock::now());
        m_file.reset(std::fopen(m_path.c_str(), "w"));
        if (!m_file)
            m_path.clear();
    }
    graph->SetLogFile(m_file.get());
}

void GraphLogFile::Close(IGraphBuilder* graph) {
    if (graph)
        graph->SetLogFile(nullptr);
    m_file.reset();
}

void GraphLogFile::AppendLine(const std::string& line) {
    if (m_path.empty())
        return;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(m_path.c_str(), "a"), &std::fclose);
    if (file)
        std::fprintf(file.get(), "%s\n", line.c_str());
}

void OpenGraphLog(GraphLogFile& logFile, IGraphBuilder* graph) {
    logFile.Open(graph);
}

void CloseGraphLog(GraphLogFile& logFile, IGraphBuilder* graph) {
    logFile.Close(graph);
}

void SaveGraphSnapshot(IGraphBuilder* graph, const std::string& label) {
    if (!graph)
        return;
    const auto folder = GraphSnapshotFolder();
    if (!FolderExists(folder))
        return;
    SaveGraphToFile(graph, (folder / GraphSnapshotFileName(std::chrono::system_clock::now(), label)).string());
}
