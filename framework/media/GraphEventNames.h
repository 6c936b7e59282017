#pragma once
// The names of the graph's events, as the graph log shows them (GraphEvents.cpp).

#include <array>
#include <cstddef>
#include <cstdint>

namespace zem::media {

// Names of the graph's event codes, written to the graph log as they are posted.
struct GraphEventName {
    long code;
    const char* name;
};
inline constexpr std::array<GraphEventName, 36> kGraphEventNames{{
    {1, "EC_COMPLETE"},
    {2, "EC_USERABORT"},
    {3, "EC_ERRORABORT"},
    {5, "EC_REPAINT"},
    {6, "EC_STREAM_ERROR_STOPPED"},
    {7, "EC_STREAM_ERROR_STILLPLAYING"},
    {8, "EC_ERROR_STILLPLAYING"},
    {9, "EC_PALETTE_CHANGED"},
    {10, "EC_VIDEO_SIZE_CHANGED"},
    {11, "EC_QUALITY_CHANGE"},
    {12, "EC_SHUTTING_DOWN"},
    {13, "EC_CLOCK_CHANGED"},
    {14, "EC_PAUSED"},
    {16, "EC_OPENING_FILE"},
    {17, "EC_BUFFERING_DATA"},
    {18, "EC_FULLSCREEN_LOST"},
    {19, "EC_ACTIVATE"},
    {20, "EC_NEED_RESTART"},
    {21, "EC_WINDOW_DESTROYED"},
    {22, "EC_DISPLAY_CHANGED"},
    {23, "EC_STARVATION"},
    {24, "EC_OLE_EVENT"},
    {25, "EC_NOTIFY_WINDOW"},
    {26, "EC_STREAM_CONTROL_STOPPED"},
    {27, "EC_STREAM_CONTROL_STARTED"},
    {28, "EC_END_OF_SEGMENT"},
    {29, "EC_SEGMENT_STARTED"},
    {30, "EC_LENGTH_CHANGED"},
    {31, "EC_DEVICE_LOST"},
    {0x24, "EC_STEP_COMPLETE"},
    {0x30, "EC_TIMECODE_AVAILABLE"},
    {0x31, "EC_EXTDEVICE_MODE_CHANGE"},
    {0x50, "EC_GRAPH_CHANGED"},
    {0x53, "EC_VMR_RENDERDEVICE_SET"},
    {0x200, "EC_SNDDEV_IN_ERROR"},
    {0x201, "EC_SNDDEV_OUT_ERROR"},
}};
// The name of an event code; nullptr for a code the list does not know.
inline const char* EventName(long code) {
    for (const GraphEventName& entry : kGraphEventNames)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}

} // namespace zem::media
