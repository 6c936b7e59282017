#pragma once
// Replacing a small file in one step: whoever reads it sees the old contents
// or the new, never half of either, and a crash in between leaves the old.

#include <QByteArray>
#include <QString>

namespace zem::os {

// Writes `contents` to a new file created exclusively (never through a name
// someone else could have planted) in the folder of `path`, flushes it to
// disk and renames it over `path`. False with the reason in `error` when any
// step fails; the temporary file is gone then.
bool ReplaceFileContents(const QString& path, const QByteArray& contents, QString& error);

} // namespace zem::os
