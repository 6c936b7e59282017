#pragma once
// A logout or a `kill` (SIGTERM, SIGHUP) closes the window as its close
// button does: the running file ends as stopped, settings and list are saved.

class QWidget;

namespace zem::app {

// From now on those signals close `window` on its own thread. Call once.
void CloseOnSignals(QWidget* window);

} // namespace zem::app
