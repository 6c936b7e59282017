#pragma once
// The state operations every part of the player and the conversion uses on the
// one graph. Each does nothing when the handle it needs is empty; a failure is
// reported through ReportFailure and leaves the state as it was.
#include "MediaInterfaces.h"

// 0 Stopped, 1 Paused, 2 Running; changed only here, only after a successful call.
enum PlayState { kPlayStopped = 0, kPlayPaused = 1, kPlayRunning = 2 };
// Process-wide on purpose: a process has one graph, which the preview and the
// conversion take turns on, so its play state and the mute toggle belong to
// the process, not to whichever object opened the current file (the mute
// toggle outlives every file). Both are the graph owner's thread's alone (the
// window's or zemconvert's main thread); no streaming thread touches them.
extern int g_playState;
// Mute toggle (0 or 1); kept across opened files.
extern int g_muted;

void RunGraph(IMediaControl* pMC);
void PauseGraph(IMediaControl* pMC); // only from Running
void StopGraph(IMediaControl* pMC);  // nothing when already Stopped
// Volume -10000 when muted, 0 when not; a graph without sound is left alone silently.
void SetMute(IGraphBuilder* pGB, bool muted);
