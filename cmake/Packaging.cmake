# The Debian package: "cpack -G DEB" in the build folder (scripts/package.sh)
# writes zemconverter_<version>_amd64.deb with everything "cmake --install"
# puts in place, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zemconverter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts video files for small-screen portable players")
set(CPACK_PACKAGE_DESCRIPTION
  "ZemConverter turns ordinary video files (avi, mpg, vob, wmv, rm, mp4, mkv and more) into the one file a\n"
  "small-screen portable player reads: an AVI with Motion-JPEG pictures at 16 frames per second and MP3\n"
  "sound, every chunk on a 512-byte boundary. It comes as a window program, zemconverter, and as a\n"
  "command-line converter, zemconvert, for scripts and batches.")
set(CPACK_PACKAGE_CONTACT "ZemConverter developers <zemconverter@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/zemconverter/zemconverter")
# The libraries the programs link come from dpkg-shlibdeps; the media layer
# loads GStreamer's plug-ins at run time, which no linker sees: the decoders
# (good, bad, ugly, libav), the text overlay and the video sink of the preview,
# Qt's platform plug-ins for the window, and one sound output for the preview
# (without one it plays silent into a fake sink).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-x, qt6-qpa-plugins, gstreamer1.0-pulseaudio | gstreamer1.0-pipewire | gstreamer1.0-alsa")
# Korean and Chinese subtitles and window texts need letters for them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils")
include(CPack)
