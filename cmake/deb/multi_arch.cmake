# Run by CPack on the finished .deb files (CPACK_POST_BUILD_SCRIPTS): gives
# the packages named in CPACK_KV_MULTI_ARCH_SAME the field "Multi-Arch: same",
# which CPack's DEB generator cannot write. Each such package is unpacked,
# its control file gets the field after Architecture, and dpkg-deb builds it
# again under the same name (files, owners and modes unchanged).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  execute_process(COMMAND dpkg-deb --field ${deb} Package
    OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT name IN_LIST CPACK_KV_MULTI_ARCH_SAME)
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${tree}/DEBIAN/control control)
  if(control MATCHES "\nMulti-Arch:")
    message(FATAL_ERROR "${deb} already has a Multi-Arch field")
  endif()
  string(REGEX REPLACE "(\nArchitecture: [^\n]*\n)" "\\1Multi-Arch: same\n" control "\n${control}")
  string(SUBSTRING "${control}" 1 -1 control)
  file(WRITE ${tree}/DEBIAN/control "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
  message(STATUS "${name}: Multi-Arch: same")
endforeach()
