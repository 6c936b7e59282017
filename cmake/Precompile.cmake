# Precompiled headers. The standard, GStreamer, Qt and GoogleTest headers that
# nearly every file of a target includes are parsed once per target instead of
# once per file: most of a file's compile time here is spent in them.
option(ZEM_PCH "Precompile the headers every file of a target includes" ON)

set(ZEM_PCH_STD <algorithm> <atomic> <cstdint> <cstring> <functional> <map> <memory> <mutex> <optional> <string>
                <vector>)
set(ZEM_PCH_GST <gst/gst.h> <gst/video/video.h>)
set(ZEM_PCH_QT_CORE <QObject> <QString> <QStringList> <QFileInfo> <QTimer>)
set(ZEM_PCH_QT_WIDGETS <QWidget> <QDialog> <QLabel> <QAbstractButton> <QTableView> <QApplication>)
set(ZEM_PCH_TEST <gtest/gtest.h>)

# zem_precompile(target GROUP...): the groups' headers (STD, GST, QT_CORE,
# QT_WIDGETS, TEST) precompiled for `target`. GST and the Qt groups do not mix:
# Qt's "signals" keyword breaks GIO's headers when it comes first.
function(zem_precompile target)
  if(NOT ZEM_PCH)
    return()
  endif()
  set(headers "")
  foreach(group IN LISTS ARGN)
    list(APPEND headers ${ZEM_PCH_${group}})
  endforeach()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
