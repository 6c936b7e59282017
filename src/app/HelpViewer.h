#pragma once
// The program's own viewer for its HTML manuals, for a desktop where no
// browser opens them.

#include <QString>

class QWidget;

namespace zem::app {

// Object name of the viewer window, so a second Help raises the open one.
inline constexpr const char* kHelpViewerName = "HelpViewer";

// A manual written for web browsers made readable in Qt's rich text: the
// viewer's own colours, the title band drawn as a table, the HTML5 sections
// as plain blocks, pictures (found in `folder`) no wider than `pictureWidth`.
QString ManualForRichText(QString html, const QString& folder, int pictureWidth);

// Shows the manual at `path` (its pictures beside it) in a window of its own,
// owned by `parent`; returns at once.
void ShowHelpViewer(QWidget* parent, const QString& path);

} // namespace zem::app
