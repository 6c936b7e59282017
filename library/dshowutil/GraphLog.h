#pragma once
// Diagnostic files of a conversion: the graph log (the graph's own trace while a
// job's graph is built and started) and graph snapshots (the graph at a named
// moment). Each is written only when its folder, ~/ZemConverter/Log or
// ~/ZemConverter/GRF, exists; nothing is ever reported.
#include "MediaInterfaces.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

std::filesystem::path GraphLogFolder();      // ~/ZemConverter/Log
std::filesystem::path GraphSnapshotFolder(); // ~/ZemConverter/GRF

// "ZemConverter_YYYYMMDD_HHMMSS_mmm.doc" and "ZemConverter_YYYYMMDD_HHMMSS_mmm_<label>.grf",
// from the UTC time given.
std::string GraphLogFileName(std::chrono::system_clock::time_point utc);
std::string GraphSnapshotFileName(std::chrono::system_clock::time_point utc, const std::string& label);

// The open graph log (m_logFile of the window); closed by its destructor as well.
class GraphLogFile {
public:
    bool IsOpen() const { return static_cast<bool>(m_file); }
    std::FILE* Handle() const { return m_file.get(); }
    const std::filesystem::path& Path() const { return m_path; }

    // Opens a new log named after the current UTC time and hands it to the graph
    // (or hands none when the folder is missing). No graph: nothing happens.
    void Open(IGraphBuilder* graph);
    // Detaches the log from the graph (when there is one) and closes it.
    void Close(IGraphBuilder* graph);
    // Adds a line to the latest log after it was closed (results of the run);
    // nothing when no log was written.
    void AppendLine(const std::string& line);

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file{nullptr, &std::fclose};
    std::filesystem::path m_path;
};

void OpenGraphLog(GraphLogFile& logFile, IGraphBuilder* graph);
void CloseGraphLog(GraphLogFile& logFile, IGraphBuilder* graph);
// Saves the graph under the current UTC time and the label; silent on any failure.
void SaveGraphSnapshot(IGraphBuilder* graph, const std::string& label);
