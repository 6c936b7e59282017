#pragma once
// Small routines shared by the preview and the conversion: the failure reporter,
// filter creation, rendering of a filter's free outputs, graph files and media
// type records.
#include "MediaInterfaces.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Longest failure text, for the media layer's reports and the engine's
// (MediaSession); longer texts are cut.
constexpr std::size_t kFailureTextMax = 1023;

// printf-style: the text (cut at kFailureTextMax characters) goes to standard
// error and into a message box with an OK button (ShowMessageBox); returns after
// the box is closed.
void ReportFailure(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Creates a filter by class id. On failure reports
// "CreateFilter: Failed to create filter!  hr=0x%x\n" and leaves *filter empty.
HRESULT CreateFilter(const CLSID& clsid, IBaseFilterPtr* filter);

// Renders every output pin of the filter that is not connected yet. Returns the
// code of the last call: S_FALSE at the normal end of the pins, the first failure
// otherwise (which ends the walk).
HRESULT RenderOutputPins(IGraphBuilder* graph, IBaseFilter* filter);

// Writes the graph's description (its filters and connections, then the
// GStreamer pipeline realising it) as Graphviz text, replacing the file.
// E_NOINTERFACE for an object that is not a graph; E_FAIL when the file cannot be written.
HRESULT SaveGraphToFile(IUnknown* graph, const std::string& path);

// Frees the format block and the extra object of a media type record (not the record).
void FreeMediaTypeContents(AM_MEDIA_TYPE& type);
