# System libraries the platform seam needs, by platform.
if(WIN32)
  target_link_libraries(ktu_platform PUBLIC ws2_32 psapi ole32 oleaut32 uuid comdlg32 gdi32 user32 advapi32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(ktu_platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS} sqlite3)
  # stb_image decodes the picture formats: its header (Debian libstb-dev) is
  # compiled into platform/posix/pictureDecoder.cpp, so that the library
  # bounds what the decoder allocates; the prebuilt libstb is not linked.
endif()
