# Run by cpack once it has written the tarball or the zip (CPACK_POST_BUILD_SCRIPTS). CPack's own archives
# list the files in the order the file system returns them, carry the uid and gid of whoever packaged them,
# and the zip's times are local: the same files would give other bytes on another machine, for another
# user or in another time zone. Each is written again here from the same staging folder: entries sorted
# by name, owned by root, modes made uniform, dated SOURCE_DATE_EPOCH when it is set, times in UTC.
if(NOT CPACK_GENERATOR MATCHES "^(TGZ|ZIP)$")
  return()
endif()
list(GET CPACK_PACKAGE_FILES 0 archive)
cmake_path(GET CPACK_TEMPORARY_DIRECTORY FILENAME top)
cmake_path(GET CPACK_TEMPORARY_DIRECTORY PARENT_PATH staging)
set(ENV{TZ} UTC)
set(ENV{LC_ALL} C)

# run(COMMAND...): one command, or a pipeline (COMMAND ... COMMAND ...), in the staging folder.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${staging} RESULTS_VARIABLE statuses)
  foreach(status IN LISTS statuses)
    if(NOT status EQUAL 0)
      list(JOIN ARGN " " command)
      message(FATAL_ERROR "${archive}: could not be written in a fixed order (${command}: ${statuses})")
    endif()
  endforeach()
endfunction()

run(chmod -R u+rwX,go+rX,go-w ${top})
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  run(find ${top} -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +)
endif()
file(REMOVE ${archive})
if(CPACK_GENERATOR STREQUAL "TGZ")
  run(tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu -cf - ${top}
      COMMAND gzip -9 -n OUTPUT_FILE ${archive})
else()
  find_program(zip zip)
  if(NOT zip)
    message(FATAL_ERROR "${archive}: writing the zip needs Info-ZIP's zip (Debian package zip)")
  endif()
  # The folder and every file below it, by name; -X leaves out the owner and the extra time fields.
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${staging} ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT entries)
  run(${zip} -X -9 -q ${archive} ${top} ${entries})
endif()
