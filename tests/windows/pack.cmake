# The packer's writer against the real loader: a mingw-built program packed with a
# package and the launcher's icon, then read back with the resource calls and started.
set(pack_probe_rc ${CMAKE_CURRENT_BINARY_DIR}/pack_probe.rc)
file(CONFIGURE OUTPUT ${pack_probe_rc} CONTENT [[
7 RCDATA { "seven\0" }
LOMARTEST Named { "named\0" }
1 VERSIONINFO
FILEVERSION 1, 2, 3, 4
BEGIN
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0409, 0x04B0
  END
END
]] @ONLY)
add_executable(pack_probe pack_probe.cpp ${pack_probe_rc})
if(NOT MSVC)
  # Symbols would be an overlay after the last section, which the packer refuses.
  target_link_options(pack_probe PRIVATE -s)
endif()

configure_file(${PROJECT_SOURCE_DIR}/launcher/launcher.ico ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/pack_embed_test.ico COPYONLY)
lomar_add_unit_test(pack_embed_test SOURCES pack_embed_test.cpp LIBS pack_pe imagehlp user32 kernel32)
add_dependencies(pack_embed_test pack_probe)
