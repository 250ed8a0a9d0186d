# The packer's executable reader and writer and its icon reader, over images built in the tests.
lomar_add_unit_test(pack_pe_test
  SOURCES pack_reader_test.cpp pack_writer_test.cpp pack_icon_test.cpp
  LIBS pack_pe)

# The packer's rules for game file names, its exclude patterns, its JSON, its comparison of packages and
# build's version options.
lomar_add_unit_test(pack_test
  SOURCES pack_name_rules_test.cpp pack_exclude_test.cpp pack_json_test.cpp pack_diff_test.cpp
          pack_version_options_test.cpp
  LIBS pack_tool)

# The version resource's reader and writer, also over the launcher stub's own as windres compiles it.
lomar_add_unit_test(pack_version_test SOURCES pack_version_test.cpp LIBS pack_pe project_version)
if(CMAKE_RC_COMPILER)
  set(lomar_windres ${CMAKE_RC_COMPILER})
else()
  find_program(lomar_windres NAMES x86_64-w64-mingw32-windres windres)
endif()
if(lomar_windres)
  set(launcher_res ${CMAKE_CURRENT_BINARY_DIR}/launcher.res)
  set(launcher_dir ${PROJECT_SOURCE_DIR}/launcher)
  add_custom_command(OUTPUT ${launcher_res}
    COMMAND ${lomar_windres} -I ${PROJECT_BINARY_DIR}/generated -O res launcher.rc ${launcher_res}
    WORKING_DIRECTORY ${launcher_dir}
    DEPENDS ${launcher_dir}/launcher.rc ${launcher_dir}/launcher.manifest ${launcher_dir}/launcher.ico
            ${LOMAR_VERSION_HEADER}
    VERBATIM)
  add_custom_target(launcher_res DEPENDS ${launcher_res})
  add_dependencies(pack_version_test launcher_res)
  target_compile_definitions(pack_version_test PRIVATE LOMAR_LAUNCHER_RES="${launcher_res}")
endif()
