# System libraries the platform seam needs, by platform.
if(WIN32)
  target_link_libraries(ktu_platform PUBLIC ws2_32 psapi ole32 oleaut32 uuid comdlg32 gdi32 user32 advapi32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(ktu_platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
  # 64-bit file offsets and times on 32-bit systems as well: a BMP file may
  # be larger than 2 GiB and a file time later than 2038, as on 32-bit
  # Windows. No type of the seam's tables depends on them.
  target_compile_definitions(ktu_platform PRIVATE _FILE_OFFSET_BITS=64 _TIME_BITS=64)
  if(KTU_SETTINGS_STORE)
    target_link_libraries(ktu_platform PUBLIC sqlite3)
  endif()
  # stb_image decodes the picture formats: its header (Debian libstb-dev) is
  # compiled into platform/posix/pictureDecoder.cpp, so that the library
  # bounds what the decoder allocates; the prebuilt libstb is not linked.
endif()
