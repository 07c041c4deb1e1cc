# Run by CPack after it made the Debian packages (CPACK_POST_BUILD_SCRIPTS).
# The runtime package runs ldconfig through its triggers file; the postinst
# and postrm that CPack's DEB generator adds for every library below /usr/lib
# (to run ldconfig by hand) are taken out of it again.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(deb MATCHES "/libks-tu-utilityclasses-v4-4_[^/]*\\.deb$")
    set(tree ${deb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND ${DPKG_DEB} -R ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
    execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz -b ${tree} ${deb}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${tree})
  endif()
endforeach()
